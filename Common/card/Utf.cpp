// UTF-8 and UTF-16 conversions.
#include "card/Utf.h"

#include <cstdint>

namespace qx::card {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c >= 0x10000) {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(c));
  }
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Decodes the character at text[i]: its length, or 0 when the bytes there start no
// well-formed character (then *skip is how many bytes belong to the bad sequence).
std::size_t DecodeUtf8(std::string_view text, std::size_t i, char32_t* out, std::size_t* skip) {
  const auto b = static_cast<std::uint8_t>(text[i]);
  std::size_t extra;
  char32_t c;
  char32_t min;
  if (b < 0x80) {
    *out = b;
    return 1;
  } else if ((b & 0xE0) == 0xC0) {
    extra = 1, c = b & 0x1F, min = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    extra = 2, c = b & 0x0F, min = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    extra = 3, c = b & 0x07, min = 0x10000;
  } else {
    *skip = 1;
    return 0;
  }
  std::size_t k = 1;
  for (; k <= extra && i + k < text.size(); ++k) {
    const auto t = static_cast<std::uint8_t>(text[i + k]);
    if ((t & 0xC0) != 0x80) break;
    c = (c << 6) | (t & 0x3F);
  }
  if (k <= extra || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    *skip = k;  // the lead byte and the continuation bytes that belonged to it
    return 0;
  }
  *out = c;
  return extra + 1;
}

}  // namespace

std::u16string Utf16FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    char32_t c;
    std::size_t skip = 0;
    const std::size_t len = DecodeUtf8(text, i, &c, &skip);
    AppendUtf16(out, len ? c : kReplacement);
    i += len ? len : skip;
  }
  return out;
}

bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    char32_t c;
    std::size_t skip = 0;
    const std::size_t len = DecodeUtf8(text, i, &c, &skip);
    if (!len) return false;
    i += len;
  }
  return true;
}

std::string Utf8FromUtf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
  return out;
}

}  // namespace qx::card
