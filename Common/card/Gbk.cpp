// GBK (code page 936) text helpers.
#include "card/Gbk.h"

#include <climits>
#include <cstring>

namespace qx::card {
namespace {

// Byte length of the character starting at i: a lead byte with nothing after it counts alone.
size_t CharLen(std::string_view s, size_t i) {
  return (IsGbkLeadByte(static_cast<uint8_t>(s[i])) && i + 1 < s.size()) ? 2 : 1;
}

bool IsAnsiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

}  // namespace

size_t GbkFind(std::string_view haystack, std::string_view needle) {
  if (needle.empty()) return 0;
  for (size_t i = 0; i < haystack.size(); i += CharLen(haystack, i)) {
    if (haystack.size() - i < needle.size()) break;
    if (haystack.compare(i, needle.size(), needle) == 0) return i;
  }
  return kNpos;
}

size_t GbkLastBackslash(std::string_view text) {
  size_t found = kNpos;
  for (size_t i = 0; i < text.size(); i += CharLen(text, i)) {
    if (text[i] == '\\') found = i;
  }
  return found;
}

std::string_view GbkPrefix(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  size_t keep = 0;
  while (keep < maxBytes) {
    const size_t len = CharLen(text, keep);
    if (keep + len > maxBytes) break;
    keep += len;
  }
  return text.substr(0, keep);
}

void CopyField(uint8_t* field, size_t width, std::string_view text) {
  if (field == nullptr || width == 0) return;
  const size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  std::memset(field, 0, width);
  // A longer text keeps whole characters only.
  const std::string_view kept = GbkPrefix(text, width);
  std::memcpy(field, kept.data(), kept.size());
}

std::string FieldText(const uint8_t* field, size_t width) {
  if (field == nullptr) return {};
  const void* nul = std::memchr(field, 0, width);
  const size_t len = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - field) : width;
  return std::string(reinterpret_cast<const char*>(field), len);
}

std::string TrimAnsi(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && IsAnsiSpace(text[b])) ++b;
  while (e > b && IsAnsiSpace(text[e - 1])) --e;
  return std::string(text.substr(b, e - b));
}

int LeadingDecimal(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsAnsiSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) return value > INT_MAX ? INT_MIN : static_cast<int>(-value);
  return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

bool AsciiEqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace qx::card
