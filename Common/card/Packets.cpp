// Builders of the console record and packets.
#include "card/Packets.h"

#include <cstring>

#include "card/Gbk.h"

namespace qx::card {
namespace {

using R = CardInfoRecord;
using V = VirtualReaderPacket;
using M = ModuleReadyPacket;

}  // namespace

void SetField(uint8_t* base, Field f, std::string_view text) { CopyField(base + f.offset, f.width, text); }

std::string GetField(const uint8_t* base, Field f) { return FieldText(base + f.offset, f.width); }

void PutLE16(uint8_t* at, uint16_t v) {
  at[0] = static_cast<uint8_t>(v);
  at[1] = static_cast<uint8_t>(v >> 8);
}

void PutLE32(uint8_t* at, uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}

void PutLEDouble(uint8_t* at, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  for (int i = 0; i < 8; ++i) at[i] = static_cast<uint8_t>(bits >> (8 * i));
}

uint16_t GetLE16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }

uint32_t GetLE32(const uint8_t* at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | at[i];
  return v;
}

double GetLEDouble(const uint8_t* at) {
  uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | at[i];
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

CardRecordBytes MakeCardRecordForSend(const uint8_t record[R::kSize]) {
  CardRecordBytes out{};
  std::memcpy(out.data(), record, R::kSize);
  SetField(out.data(), R::DeviceType, kDeviceType);
  return out;
}

uint32_t SexFlagOf(std::string_view sexText) {
  return GbkFind(sexText, "男") != kNpos ? 0u : 1u;
}

VirtualReaderBytes BuildVirtualReaderPacket(const uint8_t record[R::kSize], std::string_view signDepart,
                                            double birthDate) {
  VirtualReaderBytes p{};
  uint8_t* b = p.data();
  // Record fields are read within their widths: a field filled exactly has no NUL.
  const std::string cardNo = GetField(record, R::CardNo);
  SetField(b, V::CardNo29, cardNo);
  SetField(b, V::CardNo944, cardNo);
  SetField(b, V::CardNo738, cardNo);
  SetField(b, V::Text11, "11");
  SetField(b, V::Text1, "1");
  SetField(b, V::Name, GetField(record, R::Name));
  PutLE32(b + V::SexFlag.offset, SexFlagOf(GetField(record, R::Sex)));
  PutLEDouble(b + V::BirthDate.offset, birthDate);
  SetField(b, V::SignDepart, signDepart);
  SetField(b, V::CountryNation, GetField(record, R::Country) + ";" + GetField(record, R::Nation));
  SetField(b, V::DeviceType, kDeviceType);
  PutLE32(b + V::Value40000.offset, 40000);
  PutLE16(b + V::Value4.offset, 4);
  return p;
}

std::string VerifyCodeInput(const uint8_t packet[V::kSize]) {
  return GetField(packet, V::CardNo29) + ";" + GetField(packet, V::CardNo944) + ";" +
         GetField(packet, V::CardNo738);
}

void SetVerifyCode(uint8_t packet[V::kSize], std::string_view code) { SetField(packet, V::VerifyCode, code); }

std::string RemoveCrLf(std::string text) {
  size_t out = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      ++i;
      continue;
    }
    text[out++] = text[i];
  }
  text.resize(out);
  return text;
}

std::string TakeEncodeOutput(const char* buf, size_t bufSize, long long produced) {
  if (buf == nullptr || bufSize == 0) return {};
  // The NUL goes at the produced length, but never outside the buffer.
  size_t end = produced < 0 ? 0 : static_cast<size_t>(produced);
  if (end > bufSize - 1) end = bufSize - 1;
  return RemoveCrLf(FieldText(reinterpret_cast<const uint8_t*>(buf), end));
}

ModuleReadyBytes BuildModuleReadyPacket() {
  ModuleReadyBytes p{};
  SetField(p.data(), M::DeviceType, kDeviceType);
  return p;
}

std::vector<uint8_t> BuildScanRequestData(size_t size, std::string_view certType) {
  std::vector<uint8_t> block(size, 0);
  const Field& f = ScanRequestBlock::CertType;
  if (size > f.offset) {
    const size_t width = size - f.offset < f.width ? size - f.offset : f.width;
    CopyField(block.data() + f.offset, width, certType);
  }
  return block;
}

std::string ScanCertType(const uint8_t block[ScanRequestBlock::kSize]) {
  return GetField(block, ScanRequestBlock::CertType);
}

}  // namespace qx::card
