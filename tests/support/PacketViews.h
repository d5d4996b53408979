// Readable views of the console record and packets, and the check that no byte lies outside
// their fields: what the tests and the console simulator read back, never the product.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "card/Packets.h"

namespace qx::card {

// Readable views; texts stay GBK.
struct CardInfoView {
  std::string CardNo, CertID, Name, Sex, Country, Nation, Birthday, Address, SignDepart,
      DeviceType;
};
CardInfoView DecodeCardInfo(const uint8_t record[CardInfoRecord::kSize]);

struct VirtualReaderView {
  uint16_t value4 = 0;
  std::string cardNo29, name, text11, cardNo738, signDepart, countryNation;
  double birthDate = 0;
  uint32_t sexFlag = 0;
  uint32_t value40000 = 0;
  std::string cardNo944, deviceType, text1, verifyCode;
};
VirtualReaderView DecodeVirtualReader(const uint8_t packet[VirtualReaderPacket::kSize]);

struct ModuleReadyView {
  std::string deviceType;
};
ModuleReadyView DecodeModuleReady(const uint8_t packet[ModuleReadyPacket::kSize]);

// Offset of the first nonzero byte that no field of the layout covers, or kStrayNone.
constexpr size_t kStrayNone = static_cast<size_t>(-1);
size_t FirstStrayCardInfo(const uint8_t record[CardInfoRecord::kSize]);
size_t FirstStrayVirtualReader(const uint8_t packet[VirtualReaderPacket::kSize]);
size_t FirstStrayModuleReady(const uint8_t packet[ModuleReadyPacket::kSize]);

}  // namespace qx::card
