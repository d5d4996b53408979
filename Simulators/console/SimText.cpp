// Readable texts and hex of the console simulator's record lines.
#include "SimText.h"

#include "win/Text.h"

namespace qx::consolesim {

std::string QuoteGbk(std::string_view gbk) {
  static const char kDigits[] = "0123456789ABCDEF";
  const std::string utf8 = win::GbkToUtf8(gbk);
  std::string out = "\"";
  for (unsigned char c : utf8) {
    if (c < 0x20 || c == 0x7F || c == '"' || c == '\\') {
      out += "\\x";
      out += kDigits[c >> 4];
      out += kDigits[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
  return out;
}

std::string HexBytes(const uint8_t* data, size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 15];
  }
  return out;
}

std::optional<std::vector<uint8_t>> ParseHex(std::string_view hex) {
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (hex.size() % 2 != 0) return std::nullopt;
  std::vector<uint8_t> out;
  out.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int hi = nibble(hex[i]), lo = nibble(hex[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<uint8_t>(hi * 16 + lo));
  }
  return out;
}

}  // namespace qx::consolesim
