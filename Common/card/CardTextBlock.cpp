// Card text block: cutting the fields out of the block and building a block from fields.
#include "card/CardTextBlock.h"

#include <algorithm>

namespace qx::card {

FieldSpan SpanOf(CardField field) {
  switch (field) {
    case CardField::Name: return kNameSpan;
    case CardField::Sex: return kSexSpan;
    case CardField::Nation: return kNationSpan;
    case CardField::Birth: return kBirthSpan;
    case CardField::Address: return kAddressSpan;
    case CardField::Id: return kIdSpan;
    case CardField::Authority: return kAuthoritySpan;
    case CardField::Validity: return kValiditySpan;
    case CardField::ValidStart: return kValidStartSpan;
    case CardField::ValidEnd: return kValidEndSpan;
  }
  return FieldSpan{1, 0};
}

std::u16string TextFromUcs2Le(const void* bytes, std::size_t byteLength) {
  std::u16string text;
  if (bytes == nullptr) return text;
  const auto* p = static_cast<const std::uint8_t*>(bytes);
  const std::size_t count = byteLength / 2;
  text.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    text[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
  }
  return text;
}

std::vector<std::uint8_t> Ucs2LeFromText(std::u16string_view text) {
  std::vector<std::uint8_t> bytes(text.size() * 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    bytes[2 * i] = static_cast<std::uint8_t>(text[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
  }
  return bytes;
}

std::u16string CutField(std::u16string_view block, CardField field) {
  const FieldSpan span = SpanOf(field);
  const std::size_t start = span.position - 1;
  if (start >= block.size()) return {};
  return std::u16string(block.substr(start, span.length));
}

std::u16string CutField(const void* bytes, std::size_t byteLength, CardField field) {
  return CutField(TextFromUcs2Le(bytes, byteLength), field);
}

namespace {

bool IsWhite(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
}

}  // namespace

std::u16string TrimWhite(std::u16string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsWhite(text[begin])) ++begin;
  while (end > begin && IsWhite(text[end - 1])) --end;
  return std::u16string(text.substr(begin, end - begin));
}

CardTextFields CutCardText(std::u16string_view block) {
  CardTextFields f;
  f.name = CutField(block, CardField::Name);
  f.sex = CutField(block, CardField::Sex);
  f.nation = CutField(block, CardField::Nation);
  f.birth = CutField(block, CardField::Birth);
  f.address = CutField(block, CardField::Address);
  f.id = CutField(block, CardField::Id);
  f.authority = CutField(block, CardField::Authority);
  f.validity = CutField(block, CardField::Validity);
  f.validStart = CutField(block, CardField::ValidStart);
  f.validEnd = CutField(block, CardField::ValidEnd);
  return f;
}

CardTextFields CutCardText(const void* bytes, std::size_t byteLength) {
  return CutCardText(TextFromUcs2Le(bytes, byteLength));
}

bool IsLongTerm(std::u16string_view validity) {
  return validity.size() >= 10 && validity.substr(8, 2) == kLongTerm;
}

namespace {

void Place(std::u16string& block, FieldSpan span, std::u16string_view text) {
  const std::u16string_view cut = text.substr(0, std::min(text.size(), span.length));
  block.replace(span.position - 1, cut.size(), cut);
}

}  // namespace

std::u16string BuildCardText(const CardTextInput& card, std::size_t totalChars) {
  std::u16string block(std::max(totalChars, kCardTextFieldChars), u' ');
  Place(block, kNameSpan, card.name);
  Place(block, kSexSpan, card.sex);
  Place(block, kNationSpan, card.nation);
  Place(block, kBirthSpan, card.birth);
  Place(block, kAddressSpan, card.address);
  Place(block, kIdSpan, card.id);
  Place(block, kAuthoritySpan, card.authority);
  Place(block, kValidStartSpan, card.validStart);
  Place(block, kValidEndSpan, card.validEnd);
  block.resize(totalChars);
  return block;
}

std::vector<std::uint8_t> BuildCardTextBytes(const CardTextInput& card, std::size_t totalChars) {
  return Ucs2LeFromText(BuildCardText(card, totalChars));
}

}  // namespace qx::card
