// Card text block: the UCS-2 little-endian card text with its fields at fixed character positions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qx::card {

// Fields of the block; ValidStart and ValidEnd are the two halves of Validity.
enum class CardField {
  Name,
  Sex,
  Nation,
  Birth,
  Address,
  Id,
  Authority,
  Validity,
  ValidStart,
  ValidEnd,
};

// 1-based character position and length in characters.
struct FieldSpan {
  std::size_t position;
  std::size_t length;
};

inline constexpr FieldSpan kNameSpan{1, 15};
inline constexpr FieldSpan kSexSpan{16, 1};
inline constexpr FieldSpan kNationSpan{17, 2};
inline constexpr FieldSpan kBirthSpan{19, 8};
inline constexpr FieldSpan kAddressSpan{27, 35};
inline constexpr FieldSpan kIdSpan{62, 18};
inline constexpr FieldSpan kAuthoritySpan{80, 15};
inline constexpr FieldSpan kValiditySpan{95, 16};
inline constexpr FieldSpan kValidStartSpan{95, 8};
inline constexpr FieldSpan kValidEndSpan{103, 8};

// Last character that carries a field.
inline constexpr std::size_t kCardTextFieldChars = 110;
// What the reader libraries deliver: 128 characters, 256 bytes.
inline constexpr std::size_t kCardTextBlockChars = 128;
inline constexpr std::size_t kCardTextBlockBytes = kCardTextBlockChars * 2;

// End date of a card valid without end; it stands at 103-104, blanks follow.
inline constexpr char16_t kLongTerm[] = u"长期";

FieldSpan SpanOf(CardField field);

// Byte offset (from 0) of a field in the block.
constexpr std::size_t ByteOffsetOf(FieldSpan span) { return span.position * 2 - 2; }

// The block's characters from UCS-2 little-endian bytes; a last odd byte is dropped.
std::u16string TextFromUcs2Le(const void* bytes, std::size_t byteLength);
// The characters as UCS-2 little-endian bytes.
std::vector<std::uint8_t> Ucs2LeFromText(std::u16string_view text);

// A field exactly as it stands, blanks included. A field that starts past the end of
// the block is empty; one that runs past the end is cut short.
std::u16string CutField(std::u16string_view block, CardField field);
std::u16string CutField(const void* bytes, std::size_t byteLength, CardField field);

// White space (blank, tab, CR, LF, VT, FF) removed from both ends.
std::u16string TrimWhite(std::u16string_view text);

// Every field of a block, untrimmed.
struct CardTextFields {
  std::u16string name;
  std::u16string sex;
  std::u16string nation;
  std::u16string birth;
  std::u16string address;
  std::u16string id;
  std::u16string authority;
  std::u16string validity;
  std::u16string validStart;
  std::u16string validEnd;
};

CardTextFields CutCardText(std::u16string_view block);
CardTextFields CutCardText(const void* bytes, std::size_t byteLength);

// True when the validity's end is "长期" (characters 9-10 of the validity field).
bool IsLongTerm(std::u16string_view validity);

// What a card holds, for building a block (the simulators' side).
struct CardTextInput {
  std::u16string name;
  std::u16string sex;
  std::u16string nation;
  std::u16string birth;
  std::u16string address;
  std::u16string id;
  std::u16string authority;
  std::u16string validStart;
  std::u16string validEnd;  // a date, or "长期"
};

// Fields blank-padded at their positions, blanks up to totalChars. A text longer than
// its field is cut at the field's width; totalChars below 110 cuts the block itself.
std::u16string BuildCardText(const CardTextInput& card, std::size_t totalChars = kCardTextBlockChars);
std::vector<std::uint8_t> BuildCardTextBytes(const CardTextInput& card,
                                             std::size_t totalChars = kCardTextBlockChars);

}  // namespace qx::card
