// The Jet SQL the desk writes (code page 936 text), made fit for SQLite.
//
// Dates in the store are texts: record times "YYYY-MM-DD HH:MM:SS", birth dates "YYYY-MM-DD".
// Jet's LIKE needs nothing here: the store's texts are UTF-8, whose characters SQLite's own
// LIKE matches whole, folding the case of ASCII letters as Jet does.
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

// For a plain "SELECT <columns> FROM <rest>" the statement "SELECT rowid FROM <rest>", which
// names the same rows by their keys; empty for anything else (DISTINCT, a compound, grouping,
// a common table expression, no FROM), whose rows have no key to be read by later.
std::string KeySelectSql(std::string_view sql);

}  // namespace qx::data
