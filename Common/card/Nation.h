// The nation names of the card's nation code (codes 1 to 56, GB 3304 order, without "族").
#pragma once

#include <array>
#include <string_view>

namespace qx::card {

constexpr int kNationCount = 56;

// NationNames[code - 1] is the name of that code; UTF-16, converted to GBK by each program.
extern const std::array<std::u16string_view, kNationCount> NationNames;

// The name for a code, or empty text for a code outside 1..56.
std::u16string_view NationName(int code);

}  // namespace qx::card
