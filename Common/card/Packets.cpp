// Builders and decoders of the console record and packets.
#include "card/Packets.h"

#include <cstring>
#include <initializer_list>

#include "card/Gbk.h"

namespace qx::card {
namespace {

using R = CardInfoRecord;
using V = VirtualReaderPacket;
using M = ModuleReadyPacket;

struct Covered {
  Field f;
  bool text;  // bytes after the text's NUL must be zero as well
};

size_t FirstStray(const uint8_t* p, size_t size, std::initializer_list<Covered> fields) {
  std::vector<int> kind(size, 0);  // 0 uncovered, 1 binary, 2 text
  for (const Covered& c : fields) {
    for (size_t i = c.f.offset; i < c.f.offset + c.f.width && i < size; ++i) kind[i] = c.text ? 2 : 1;
  }
  for (const Covered& c : fields) {
    if (!c.text) continue;
    const void* nul = std::memchr(p + c.f.offset, 0, c.f.width);
    if (!nul) continue;
    for (size_t i = static_cast<size_t>(static_cast<const uint8_t*>(nul) - p); i < c.f.offset + c.f.width; ++i) {
      if (p[i] != 0) return i;
    }
  }
  for (size_t i = 0; i < size; ++i) {
    if (kind[i] == 0 && p[i] != 0) return i;
  }
  return kStrayNone;
}

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
  return GbkFind(sexText, "\xC4\xD0") != kNpos ? 0u : 1u;  // 男
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

CardInfoView DecodeCardInfo(const uint8_t r[R::kSize]) {
  CardInfoView v;
  v.CardNo = GetField(r, R::CardNo);
  v.CertID = GetField(r, R::CertID);
  v.Name = GetField(r, R::Name);
  v.Sex = GetField(r, R::Sex);
  v.Country = GetField(r, R::Country);
  v.Nation = GetField(r, R::Nation);
  v.Birthday = GetField(r, R::Birthday);
  v.Address = GetField(r, R::Address);
  v.SignDepart = GetField(r, R::SignDepart);
  v.DeviceType = GetField(r, R::DeviceType);
  return v;
}

VirtualReaderView DecodeVirtualReader(const uint8_t p[V::kSize]) {
  VirtualReaderView v;
  v.value4 = GetLE16(p + V::Value4.offset);
  v.cardNo29 = GetField(p, V::CardNo29);
  v.name = GetField(p, V::Name);
  v.text11 = GetField(p, V::Text11);
  v.cardNo738 = GetField(p, V::CardNo738);
  v.signDepart = GetField(p, V::SignDepart);
  v.countryNation = GetField(p, V::CountryNation);
  v.birthDate = GetLEDouble(p + V::BirthDate.offset);
  v.sexFlag = GetLE32(p + V::SexFlag.offset);
  v.value40000 = GetLE32(p + V::Value40000.offset);
  v.cardNo944 = GetField(p, V::CardNo944);
  v.deviceType = GetField(p, V::DeviceType);
  v.text1 = GetField(p, V::Text1);
  v.verifyCode = GetField(p, V::VerifyCode);
  return v;
}

ModuleReadyView DecodeModuleReady(const uint8_t p[M::kSize]) { return {GetField(p, M::DeviceType)}; }

size_t FirstStrayCardInfo(const uint8_t r[R::kSize]) {
  return FirstStray(r, R::kSize,
                    {{R::CardNo, true}, {R::CertID, true}, {R::Name, true}, {R::Sex, true},
                     {R::Country, true}, {R::Nation, true}, {R::Birthday, true}, {R::Address, true},
                     {R::SignDepart, true}, {R::DeviceType, true}});
}

size_t FirstStrayVirtualReader(const uint8_t p[V::kSize]) {
  return FirstStray(p, V::kSize,
                    {{V::Value4, false}, {V::CardNo29, true}, {V::Name, true}, {V::Text11, true},
                     {V::CardNo738, true}, {V::SignDepart, true}, {V::CountryNation, true},
                     {V::BirthDate, false}, {V::SexFlag, false}, {V::Value40000, false},
                     {V::CardNo944, true}, {V::DeviceType, true}, {V::Text1, true},
                     {V::VerifyCode, true}});
}

size_t FirstStrayModuleReady(const uint8_t p[M::kSize]) {
  return FirstStray(p, M::kSize, {{M::DeviceType, true}});
}

}  // namespace qx::card
