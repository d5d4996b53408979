// Text conversions and hex helpers of the console simulator (GBK, UTF-8, UTF-16).
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qx::consolesim {

std::wstring Widen(std::string_view text, UINT codePage);
std::string Narrow(std::wstring_view text, UINT codePage);
std::string GbkToUtf8(std::string_view gbk);
std::string Utf8ToGbk(std::string_view utf8);

// Readable value: UTF-8 of GBK text in double quotes, control characters and quotes escaped.
std::string QuoteGbk(std::string_view gbk);

std::string HexBytes(const uint8_t* data, size_t size);
std::optional<std::vector<uint8_t>> ParseHex(std::string_view hex);

}  // namespace qx::consolesim
