// Text conversions at the platform edge: UTF-16, ANSI code pages, UTF-8; printf-style formatting.
#pragma once
#include <windows.h>
#include <cstdarg>
#include <string>
#include <string_view>

namespace qx::win {

std::string WideToMulti(std::wstring_view w, UINT codePage = CP_ACP);
std::wstring MultiToWide(std::string_view s, UINT codePage = CP_ACP);
inline std::string WideToUtf8(std::wstring_view w) { return WideToMulti(w, CP_UTF8); }
inline std::wstring Utf8ToWide(std::string_view s) { return MultiToWide(s, CP_UTF8); }
std::wstring FromU16(std::u16string_view s);
std::u16string ToU16(std::wstring_view s);

// vsnprintf into a string of any length.
std::string FormatV(const char* fmt, va_list ap);
std::string Format(const char* fmt, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)));

}  // namespace qx::win
