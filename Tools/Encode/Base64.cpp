// Base64 text codec of the Encode library: one pass, caller's memory, no state.
#include "Base64.h"

#include <array>
#include <limits>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kGroupsPerLine = 19;
constexpr int8_t kNotInAlphabet = -1;

constexpr std::array<int8_t, 256> MakeDecodeTable() {
  std::array<int8_t, 256> table{};
  for (auto& v : table) v = kNotInAlphabet;
  for (int i = 0; i < 64; ++i) table[static_cast<uint8_t>(kAlphabet[i])] = static_cast<int8_t>(i);
  return table;
}

constexpr std::array<int8_t, 256> kDecodeTable = MakeDecodeTable();

}  // namespace

int32_t base64RequiredLength(int32_t n) {
  if (n < 0) return -1;
  // 64-bit so that 4n cannot wrap for large counts.
  int64_t r = 4 * static_cast<int64_t>(n) / 3;
  r += n % 3;
  const int64_t lines = r / 76;
  r = (r + 3) / 4 * 4;
  r += 2 * lines + 2;
  if (r > std::numeric_limits<int32_t>::max()) return -1;
  return static_cast<int32_t>(r);
}

bool base64Encode(const uint8_t* data, int32_t n, char* out, int32_t* capacity) {
  if (!data || !out || !capacity) return false;
  const int32_t required = base64RequiredLength(n);
  if (required < 0 || *capacity < required) return false;

  char* p = out;
  const int32_t whole = n / 3;
  const uint8_t* in = data;
  for (int32_t g = 0; g < whole; ++g, in += 3) {
    const uint32_t bits = (uint32_t{in[0]} << 16) | (uint32_t{in[1]} << 8) | in[2];
    *p++ = kAlphabet[(bits >> 18) & 63];
    *p++ = kAlphabet[(bits >> 12) & 63];
    *p++ = kAlphabet[(bits >> 6) & 63];
    *p++ = kAlphabet[bits & 63];
    // A full last line keeps its CR LF, so a positive multiple of 57 bytes ends in one.
    if ((g + 1) % kGroupsPerLine == 0) {
      *p++ = '\r';
      *p++ = '\n';
    }
  }

  const int32_t rest = n % 3;
  if (rest != 0) {
    uint32_t bits = uint32_t{in[0]} << 16;
    if (rest == 2) bits |= uint32_t{in[1]} << 8;
    *p++ = kAlphabet[(bits >> 18) & 63];
    *p++ = kAlphabet[(bits >> 12) & 63];
    *p++ = rest == 2 ? kAlphabet[(bits >> 6) & 63] : '=';
    *p++ = '=';
  }

  *capacity = static_cast<int32_t>(p - out);
  return true;
}

bool base64Decode(const char* text, int32_t length, uint8_t* out, int32_t* capacity) {
  if (!text || !capacity || length < 0) return false;
  const int64_t room = out ? *capacity : 0;

  int64_t total = 0;
  bool overflow = false;
  uint32_t bits = 0;
  int held = 0;

  // Writes the group of `held` characters gathered in `bits` (6 bits each, oldest highest).
  auto flush = [&]() {
    const int count = held * 6 / 8;
    if (count > 0) {
      if (!overflow && total + count > room) overflow = true;
      if (!overflow) {
        const uint32_t aligned = bits << (6 * (4 - held));
        for (int i = 0; i < count; ++i) out[total + i] = static_cast<uint8_t>(aligned >> (16 - 8 * i));
      }
      total += count;
    }
    bits = 0;
    held = 0;
  };

  for (int32_t i = 0; i < length; ++i) {
    const int8_t v = kDecodeTable[static_cast<uint8_t>(text[i])];
    if (v == kNotInAlphabet) continue;  // CR, LF, blanks, pads, NUL and high bytes end nothing
    bits = (bits << 6) | static_cast<uint32_t>(v);
    if (++held == 4) flush();
  }
  if (held > 0) flush();

  *capacity = static_cast<int32_t>(total);
  return !overflow;
}
