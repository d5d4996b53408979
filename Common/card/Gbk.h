// GBK (code page 936) text helpers: character-wise search, fixed-width field filling, trimming.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qx::card {

constexpr size_t kNpos = std::string_view::npos;

// First byte of a double-byte GBK character.
constexpr bool IsGbkLeadByte(uint8_t b) { return b >= 0x81 && b <= 0xFE; }

// Substring search that steps through double-byte characters whole, so a match
// never starts on a trail byte. An empty needle matches at 0.
size_t GbkFind(std::string_view haystack, std::string_view needle);

// Equal texts when ASCII letters are compared without regard to case (other bytes exactly).
bool AsciiEqualNoCase(std::string_view a, std::string_view b);

// Position of the last '\' that is a character of its own (a trail byte 0x5C never counts).
size_t GbkLastBackslash(std::string_view text);

// The longest start of the text that holds whole characters only and no more than maxBytes.
std::string_view GbkPrefix(std::string_view text, size_t maxBytes);

// Fills a fixed-width field: NULs after a shorter text; a longer one is cut at the
// width and a double-byte character the cut would split is replaced by NUL;
// an exact fit gets no terminator. The text ends at its first NUL, if any.
void CopyField(uint8_t* field, size_t width, std::string_view text);

// The text of a fixed-width field: up to its first NUL, never past the width.
std::string FieldText(const uint8_t* field, size_t width);

// Drops single-byte white space (space, \t, \r, \n, \v, \f) at both ends.
std::string TrimAnsi(std::string_view text);

// Value of the leading decimal digits (after white space and an optional sign), like
// atoi; 0 for empty or non-numeric text; saturates at the int range instead of overflowing.
int LeadingDecimal(std::string_view text);

}  // namespace qx::card
