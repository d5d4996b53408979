// Label texts of the sample program's card display, chip number and caption.
#include "CardDisplay.h"

#include "card/CardTextBlock.h"
#include "card/Nation.h"

namespace qx::morvid {

std::u16string TextFromBytePairs(const std::vector<std::uint8_t>& bytes) {
  return card::TextFromUcs2Le(bytes.data(), bytes.size());
}

std::u16string_view Mid(std::u16string_view s, std::size_t pos, std::size_t len) {
  if (pos == 0 || pos > s.size()) return {};
  return s.substr(pos - 1, len);
}

std::u16string_view SexText(std::u16string_view code) {
  if (code == u"0") return u"未知";
  if (code == u"1") return u"男";
  if (code == u"2") return u"女";
  return u"未说明";
}

namespace {

std::u16string_view TrimBlanks(std::u16string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && s[b] == u' ') ++b;
  while (e > b && s[e - 1] == u' ') --e;
  return s.substr(b, e - b);
}

}  // namespace

void GetNation(std::u16string_view strNationcode, std::u16string& strNation) {
  const std::u16string_view code = TrimBlanks(strNationcode);
  if (code.empty()) return;
  int n = 0;
  for (char16_t c : code) {
    if (c < u'0' || c > u'9') {
      // Not a number: the same answer as a number without a name.
      n = -1;
      break;
    }
    // Stop counting once past the table; the exact size of a large number does not matter.
    if (n <= card::kNationCount) n = n * 10 + (c - u'0');
  }
  const std::u16string_view name = card::NationName(n);
  strNation = name.empty() ? std::u16string(u"其他") : std::u16string(name);
}

std::u16string BornText(std::u16string_view birth) {
  std::u16string s;
  s += Mid(birth, 1, 4);
  s += u"年";
  s += Mid(birth, 5, 2);
  s += u"月";
  s += Mid(birth, 7, 2);
  s += u"日";
  return s;
}

std::u16string ValidDateText(std::u16string_view validity) {
  std::u16string s;
  s += Mid(validity, 1, 4);
  s += u".";
  s += Mid(validity, 5, 2);
  s += u".";
  s += Mid(validity, 7, 2);
  s += u"-";
  if (Mid(validity, 9, 2) == card::kLongTerm) {
    s += card::kLongTerm;
    return s;
  }
  s += Mid(validity, 9, 4);
  s += u".";
  s += Mid(validity, 13, 2);
  s += u".";
  s += Mid(validity, 15, 2);
  return s;
}

CardLabels CardLabelsFrom(std::u16string_view cardText) {
  const card::CardTextFields f = card::CutCardText(cardText);
  CardLabels l;
  l.namet = f.name;
  l.sex = SexText(f.sex);
  GetNation(f.nation, l.nation);
  l.born = BornText(f.birth);
  l.address = f.address;
  l.IDN = f.id;
  l.reg = f.authority;
  l.ValidDate = ValidDateText(f.validity);
  return l;
}

std::u16string ChipNumberText(const std::vector<std::uint8_t>& fileBytes) {
  static const char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string s;
  s.reserve(kChipBytes * 3);
  for (std::size_t i = 0; i < kChipBytes; ++i) {
    const std::uint8_t b = i < fileBytes.size() ? fileBytes[i] : 0;
    s += u' ';
    s += kHex[b >> 4];
    s += kHex[b & 0x0F];
  }
  return s;
}

std::u16string_view TrimLeadingBlanks(std::u16string_view s) {
  std::size_t b = 0;
  while (b < s.size() && s[b] == u' ') ++b;
  return s.substr(b);
}

std::vector<std::u16string> SplitAtDash(std::u16string_view s) {
  std::vector<std::u16string> parts;
  if (s.empty()) return parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dash = s.find(u'-', start);
    if (dash == std::u16string_view::npos) {
      parts.emplace_back(s.substr(start));
      return parts;
    }
    parts.emplace_back(s.substr(start, dash - start));
    start = dash + 1;
  }
}

std::u16string CaptionWithSamId(std::u16string_view caption, std::u16string_view samId) {
  const std::vector<std::u16string> parts = SplitAtDash(samId);
  std::u16string s(caption);
  if (parts.size() < 5) return s;
  s += u"(授权号: ";
  s += parts[2];
  s += u"-";
  s += parts[3];
  s += u") ";
  return s;
}

std::u16string_view ReadResultText(int result) {
  switch (result) {
    case 1: return kTextReadOk;
    case -1: return kTextPhotoError;
    case -2: return kTextWltSuffix;
    case -3: return kTextWltOpen;
    case -4: return kTextWltFormat;
    default: return kTextReadFailed;
  }
}

std::u16string_view LastResultText(int lastResult) {
  return lastResult == 0 ? kTextPlaceCard : ReadResultText(lastResult);
}

}  // namespace qx::morvid
