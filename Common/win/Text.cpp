// Text conversions at the platform edge.
#include "win/Text.h"

#include <cstdio>
#include <vector>

#include "card/Utf.h"

namespace qx::win {

std::string WideToMulti(std::wstring_view w, UINT codePage) {
  if (w.empty()) return {};
  int n = ::WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                nullptr, nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0)
    ::WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), out.data(), n,
                          nullptr, nullptr);
  return out;
}

std::wstring MultiToWide(std::string_view s, UINT codePage) {
  if (s.empty()) return {};
  int n = ::MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(n > 0 ? n : 0, L'\0');
  if (n > 0)
    ::MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

std::string WideToUtf8(std::wstring_view w) { return card::Utf8FromUtf16(ToU16(w)); }
std::wstring Utf8ToWide(std::string_view s) { return FromU16(card::Utf16FromUtf8(s)); }
std::string GbkToUtf8(std::string_view gbk) { return WideToUtf8(MultiToWide(gbk, kGbkCodePage)); }
std::string Utf8ToGbk(std::string_view utf8) { return WideToMulti(Utf8ToWide(utf8), kGbkCodePage); }

std::wstring FromU16(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }
std::u16string ToU16(std::wstring_view s) { return std::u16string(s.begin(), s.end()); }

std::string FormatV(const char* fmt, va_list ap) {
  va_list copy;
  va_copy(copy, ap);
  int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  if (n <= 0) return {};
  std::vector<char> buf(static_cast<size_t>(n) + 1);
  std::vsnprintf(buf.data(), buf.size(), fmt, ap);
  return std::string(buf.data(), static_cast<size_t>(n));
}

std::string Format(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string s = FormatV(fmt, ap);
  va_end(ap);
  return s;
}

}  // namespace qx::win
