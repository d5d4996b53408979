// Byte layouts of the card record and the packets exchanged with the Quorix console, with their builders.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qx::card {

// One fixed-width field of a layout.
struct Field {
  size_t offset;
  size_t width;
};

// Window message and WM_COPYDATA codes of the console protocol.
constexpr unsigned WM_HD_QUERYSTATUS = 6446;
constexpr unsigned WM_HD_SCANREQUEST = 6448;
constexpr unsigned WM_HD_STARTDEVICE = 6645;
constexpr unsigned long CDS_HARDWARE_CHECK = 999;
constexpr unsigned long CDS_MODULE_READY = 1001;
constexpr unsigned long CDS_CARD_DATA = 27013;

// The card record sent to "DispatchWnd_NewMember" and "WndTitle_Register_dll".
struct CardInfoRecord {
  static constexpr size_t kSize = 1114;
  static constexpr Field CardNo{0, 40};
  static constexpr Field CertID{62, 40};
  static constexpr Field Name{103, 40};
  static constexpr Field Sex{144, 10};
  static constexpr Field Country{155, 40};
  static constexpr Field Nation{196, 20};
  static constexpr Field Birthday{217, 20};
  static constexpr Field Address{238, 200};
  static constexpr Field SignDepart{439, 42};
  static constexpr Field DeviceType{481, 100};
};
using CardRecordBytes = std::array<uint8_t, CardInfoRecord::kSize>;

// The packet sent to "VirtualReader". The three identity-number fields are named by offset.
struct VirtualReaderPacket {
  static constexpr size_t kSize = 1360;
  static constexpr Field Value4{4, 2};         // 16-bit 4
  static constexpr Field CardNo29{29, 20};
  static constexpr Field Name{704, 30};
  static constexpr Field Text11{735, 2};       // "11", no room for a NUL
  static constexpr Field CardNo738{738, 20};
  static constexpr Field SignDepart{769, 30};
  static constexpr Field CountryNation{831, 30};
  static constexpr Field BirthDate{864, 8};    // automation date, IEEE 754 double
  static constexpr Field SexFlag{872, 4};      // 32-bit: 0 man, 1 otherwise
  static constexpr Field Value40000{940, 4};   // 32-bit 40000
  static constexpr Field CardNo944{944, 20};
  static constexpr Field DeviceType{965, 100};
  static constexpr Field Text1{1187, 20};      // "1"
  static constexpr Field VerifyCode{1255, 100};
};
using VirtualReaderBytes = std::array<uint8_t, VirtualReaderPacket::kSize>;

// The ready packet sent to "DispatchWnd_Quorix_2010__CheckCard".
struct ModuleReadyPacket {
  static constexpr size_t kSize = 112;
  static constexpr Field DeviceType{0, 10};
};
using ModuleReadyBytes = std::array<uint8_t, ModuleReadyPacket::kSize>;

// The console's scan request block (WM_COPYDATA 6448).
struct ScanRequestBlock {
  static constexpr size_t kSize = 256;
  static constexpr Field CertType{8, 248};
};
using ScanRequestBytes = std::array<uint8_t, ScanRequestBlock::kSize>;

// The device type every outgoing record and packet carries.
constexpr std::string_view kDeviceType = "0802";

// Field access on a raw layout.
void SetField(uint8_t* base, Field f, std::string_view text);
std::string GetField(const uint8_t* base, Field f);

// Little-endian integers and doubles.
void PutLE16(uint8_t* at, uint16_t v);
void PutLE32(uint8_t* at, uint32_t v);
void PutLEDouble(uint8_t* at, double v);
uint16_t GetLE16(const uint8_t* at);
uint32_t GetLE32(const uint8_t* at);
double GetLEDouble(const uint8_t* at);

// A copy of the record with "0802" in DeviceType, as sent to the two record windows.
CardRecordBytes MakeCardRecordForSend(const uint8_t record[CardInfoRecord::kSize]);

// The virtual-reader packet without its VerifyCode. signDepart is the authority just
// read; birthDate the automation date the platform's parser made of Birthday.
VirtualReaderBytes BuildVirtualReaderPacket(const uint8_t record[CardInfoRecord::kSize],
                                            std::string_view signDepart, double birthDate);

// 0 when the GBK text holds "男", else 1.
uint32_t SexFlagOf(std::string_view sexText);

// The text the verification code enciphers: the id fields at 29, 944 and 738 joined by ';'.
std::string VerifyCodeInput(const uint8_t packet[VirtualReaderPacket::kSize]);
void SetVerifyCode(uint8_t packet[VirtualReaderPacket::kSize], std::string_view code);

// Removes every CR LF pair (the base64 line ends); lone CR or LF stay.
std::string RemoveCrLf(std::string text);

// The cipher's output as text: cut at the produced length (clamped into the buffer),
// then at the first NUL, with the line ends removed.
std::string TakeEncodeOutput(const char* buf, size_t bufSize, long long produced);

ModuleReadyBytes BuildModuleReadyPacket();

// A scan request of size bytes with certType at offset 8 (cut to what fits).
std::vector<uint8_t> BuildScanRequestData(size_t size, std::string_view certType);

// The CertType text: from offset 8 up to its NUL, at most 248 bytes.
std::string ScanCertType(const uint8_t block[ScanRequestBlock::kSize]);

}  // namespace qx::card
