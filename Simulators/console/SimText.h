// Readable texts and hex of the console simulator's record lines (conversions: win/Text.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qx::consolesim {

// Readable value: UTF-8 of GBK text in double quotes, control characters and quotes escaped.
std::string QuoteGbk(std::string_view gbk);

std::string HexBytes(const uint8_t* data, size_t size);
std::optional<std::vector<uint8_t>> ParseHex(std::string_view hex);

}  // namespace qx::consolesim
