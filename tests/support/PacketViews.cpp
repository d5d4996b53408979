// Readable views of the console record and packets.
#include "PacketViews.h"

#include <cstring>
#include <initializer_list>
#include <vector>

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
