// The card record fields a poll takes from one card text block (no windows.h: pure logic).
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace cardpost {

// Converts one field of the block to ANSI text. The field may hold a U+0000, at which a
// zero-terminated conversion stops.
using AnsiConverter = std::function<std::string(std::u16string_view)>;

// GBK texts the poll writes into the record. Defined in CardFields.cpp, where the compiler
// makes them GBK: a header's literal would take the encoding of whoever includes it.
extern const char kReadSuffix[];  // "(读)"
extern const char kFemale[];
extern const char kMale[];
extern const char kChina[];

// One card's fields as ANSI text, each trimmed of single-byte white space.
struct CardReadFields {
  std::string name;        // with kReadSuffix
  std::string sex;         // kFemale for code 2, kMale for anything else
  std::string birth;
  std::string address;
  std::string id;
  std::string authority;   // the whole trimmed text, for g_SignDepart
  std::string nationCode;  // the trimmed digits, for the log
  std::string nation;      // the name for codes 1..56, empty otherwise
};

// Cuts the block (UCS-2 LE bytes; byteLength may be anything, fields past it are empty).
// The card's own fields go through toAnsi (the calling thread's ANSI code page); the nation
// name, a text of the bridge like the sex and country, through toGbk (code page 936).
CardReadFields CutCardFields(const uint8_t* block, size_t byteLength, const AnsiConverter& toAnsi,
                             const AnsiConverter& toGbk);

// Copies the fields into a zero-filled CardInfoRecord by the filling rule. SignDepart and
// DeviceType stay as they are; Nation is left untouched when it has no name.
void FillCardRecord(uint8_t* record, const CardReadFields& fields);

}  // namespace cardpost
