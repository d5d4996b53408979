// Names of the files the desk saves into a folder the operator chose: the card's identity
// number names them, and a number is only text read from a card.
#pragma once

#include <string_view>

namespace qx::kestrin {

// A name that stays a file of the folder it is put in: not empty, no folder separator, drive
// or stream colon, wildcard, quote, pipe or control character, and no device name (CON, PRN,
// AUX, NUL, COM1-9, LPT1-9, in any case) before its first dot.
bool IsPlainFileName(std::wstring_view name);

}  // namespace qx::kestrin
