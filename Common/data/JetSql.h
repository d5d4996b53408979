// The Jet SQL the desk writes, made fit for SQLite, and Jet's LIKE over GBK text.
//
// Texts in the store are code page 936 (GBK) bytes, kept and compared as they are. Dates are
// texts too: record times "YYYY-MM-DD HH:MM:SS", birth dates "YYYY-MM-DD".
#pragma once

#include <string>
#include <string_view>

namespace qx::data {

// Rewrites every #date# literal as a quoted text that compares with the stored date texts as
// Jet compares dates; nothing else changes, and nothing inside '...', "..." or [...] is read.
// Literals: Y-M-D, Y/M/D or M/D/Y with a four-digit year, optionally followed by H:M or
// H:M:S and AM/PM. A literal at midnight stands for the whole-day text "YYYY-MM-DD", which
// sorts before every time of that day; after "<=" and ">" it becomes "YYYY-MM-DD 00:00:00"
// so that a row stored at exactly midnight falls on the same side as in Jet. Other literals
// become "YYYY-MM-DD HH:MM:SS". Throws DataError for an unreadable or unterminated literal.
std::string TranslateJetSql(std::string_view sql);

// Jet's LIKE: "%" any run of characters, "_" one character; double-byte GBK characters are
// matched whole, single-byte letters without regard to case. escape, when not 0, makes the
// character after it literal.
bool JetLike(std::string_view pattern, std::string_view text, char escape = 0);

}  // namespace qx::data
