// Text conversions at the platform edge: UTF-16, ANSI code pages (GBK among them), UTF-8;
// printf-style formatting. The code-page-free UTF-8/UTF-16 logic is card/Utf.h.
#pragma once
#include <windows.h>
#include <cstdarg>
#include <string>
#include <string_view>

namespace qx::win {

// The code page of the product's narrow texts: cards, records, packets, logs, the desk's store.
constexpr UINT kGbkCodePage = 936;

std::string WideToMulti(std::wstring_view w, UINT codePage = CP_ACP);
std::wstring MultiToWide(std::string_view s, UINT codePage = CP_ACP);
// Invalid sequences and unpaired surrogates become U+FFFD.
std::string WideToUtf8(std::wstring_view w);
std::wstring Utf8ToWide(std::string_view s);
std::string GbkToUtf8(std::string_view gbk);
std::string Utf8ToGbk(std::string_view utf8);
std::wstring FromU16(std::u16string_view s);
std::u16string ToU16(std::wstring_view s);

// vsnprintf into a string of any length.
std::string FormatV(const char* fmt, va_list ap);
std::string Format(const char* fmt, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)));

}  // namespace qx::win
