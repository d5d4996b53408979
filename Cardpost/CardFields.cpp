// Cutting the card text block into the card record, as one poll of the reader does it.
#include "CardFields.h"

#include "card/CardTextBlock.h"
#include "card/Gbk.h"
#include "card/Nation.h"
#include "card/Packets.h"

namespace cardpost {

using qx::card::CardField;
using qx::card::CardInfoRecord;

const char kReadSuffix[] = "(读)";
const char kFemale[] = "女";
const char kMale[] = "男";
const char kChina[] = "中国";

CardReadFields CutCardFields(const uint8_t* block, size_t byteLength, const AnsiConverter& toAnsi,
                             const AnsiConverter& toGbk) {
  const std::u16string text = qx::card::TextFromUcs2Le(block, byteLength);
  auto field = [&](CardField f) { return qx::card::TrimAnsi(toAnsi(qx::card::CutField(text, f))); };
  CardReadFields out;
  out.name = field(CardField::Name) + kReadSuffix;
  out.sex = qx::card::LeadingDecimal(field(CardField::Sex)) == 2 ? kFemale : kMale;
  out.birth = field(CardField::Birth);
  out.address = field(CardField::Address);
  out.id = field(CardField::Id);
  out.authority = field(CardField::Authority);
  out.nationCode = field(CardField::Nation);
  // NationName answers empty outside 1..56, so no code reaches past the table.
  const std::u16string_view nation = qx::card::NationName(qx::card::LeadingDecimal(out.nationCode));
  if (!nation.empty()) out.nation = toGbk(nation);
  return out;
}

void FillCardRecord(uint8_t* record, const CardReadFields& f) {
  using R = CardInfoRecord;
  qx::card::SetField(record, R::Name, f.name);
  qx::card::SetField(record, R::Sex, f.sex);
  qx::card::SetField(record, R::Birthday, f.birth);
  qx::card::SetField(record, R::Address, f.address);
  qx::card::SetField(record, R::CertID, f.id);
  qx::card::SetField(record, R::CardNo, f.id);
  qx::card::SetField(record, R::Country, kChina);
  if (!f.nation.empty()) qx::card::SetField(record, R::Nation, f.nation);
}

}  // namespace cardpost
