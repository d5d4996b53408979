// UTF-8 and UTF-16 conversions of texts that the programs and the simulators read and write.
#pragma once

#include <string>
#include <string_view>

namespace qx::card {

// Invalid sequences become U+FFFD.
std::u16string Utf16FromUtf8(std::string_view text);
// Unpaired surrogates become U+FFFD.
std::string Utf8FromUtf16(std::u16string_view text);
// Well-formed UTF-8: no overlong forms, surrogates or values past U+10FFFF.
bool IsUtf8(std::string_view text);

}  // namespace qx::card
