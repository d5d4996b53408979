// Worksheet record decoder for the tests.
#include "BiffReader.h"

#include <cstring>

namespace qx::test {
namespace {

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t U32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

BiffFile ReadBiff(const std::vector<std::uint8_t>& bytes) {
  BiffFile f;
  size_t at = 0;
  while (at < bytes.size()) {
    if (bytes.size() - at < 4) return f.ok = false, f;
    BiffRecord r;
    r.type = U16(&bytes[at]);
    r.length = U16(&bytes[at + 2]);
    if (bytes.size() - at - 4 < r.length) return f.ok = false, f;
    const std::uint8_t* d = &bytes[at + 4];
    auto need = [&](size_t n) { if (r.length != n) f.ok = false; };
    switch (r.type) {
      case 0x0809: need(8); break;
      case 0x000A: need(0); break;
      case 0x0201: need(6); r.row = U16(d); r.col = U16(d + 2); r.format = U16(d + 4); break;
      case 0x027E:
        need(10);
        r.row = U16(d); r.col = U16(d + 2); r.format = U16(d + 4);
        r.integer = static_cast<std::int32_t>(U32(d + 6)) >> 2;
        if ((U32(d + 6) & 3) != 2) f.ok = false;
        break;
      case 0x0203:
        need(14);
        r.row = U16(d); r.col = U16(d + 2); r.format = U16(d + 4);
        std::memcpy(&r.number, d + 6, 8);
        break;
      case 0x0204: {
        r.row = U16(d); r.col = U16(d + 2); r.format = U16(d + 4);
        const std::uint16_t n = U16(d + 6);
        need(8u + n);
        if (r.length == 8u + n) r.text.assign(reinterpret_cast<const char*>(d + 8), n);
        break;
      }
      default: f.ok = false; break;
    }
    f.records.push_back(r);
    at += 4 + r.length;
  }
  return f;
}

}  // namespace qx::test
