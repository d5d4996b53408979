// The sample program's card display: label texts from the card file's bytes, nation and sex
// words, dates, chip number, caption and status texts (both builds).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CardDisplay.h"
#include "SampleCard.h"
#include "card/CardTextBlock.h"

using namespace qx::morvid;

namespace {

qx::card::CardTextInput SampleCard() {
  qx::card::CardTextInput c = qx::test::SampleCardInput();
  c.validEnd = u"20160101";
  return c;
}

// A card text whose nation and sex fields hold the given characters.
std::u16string WithCodes(std::u16string_view sexCode, std::u16string_view nationCode) {
  std::u16string t = qx::card::BuildCardText(SampleCard());
  t.replace(15, 1, sexCode);
  t.replace(16, 2, nationCode);
  return t;
}

TEST(CardBytes, TwoBytesMakeOneCharacterLowByteFirst) {
  EXPECT_EQ(TextFromBytePairs({0x41, 0x00, 0x20, 0x5F, 0xFF, 0xFF}), u"A\u5F20\uFFFF");
  EXPECT_EQ(TextFromBytePairs({}), u"");
}

TEST(CardBytes, LastOddByteIsIgnored) {
  EXPECT_EQ(TextFromBytePairs({0x41, 0x00, 0x42}), u"A");
  EXPECT_EQ(TextFromBytePairs({0x42}), u"");
}

TEST(CardLabels, SampleCardFillsEveryLabel) {
  const CardLabels l = CardLabelsFrom(TextFromBytePairs(qx::card::BuildCardTextBytes(SampleCard())));
  // A two-character name keeps the 13 blanks of its field.
  EXPECT_EQ(l.namet, u"张三" + std::u16string(13, u' '));
  EXPECT_EQ(l.sex, u"男");
  EXPECT_EQ(l.nation, u"汉");
  EXPECT_EQ(l.born, u"1980年01月01日");
  EXPECT_EQ(l.address, u"北京市东城区景山前街4号" + std::u16string(35 - 12, u' '));
  EXPECT_EQ(l.IDN, u"110101198001010011");
  EXPECT_EQ(l.reg, u"北京市公安局东城分局" + std::u16string(5, u' '));
  EXPECT_EQ(l.ValidDate, u"2006.01.01-2016.01.01");
}

TEST(CardLabels, EmptyTextGivesTheEmptyValues) {
  const CardLabels l = CardLabelsFrom(TextFromBytePairs({}));
  EXPECT_EQ(l.namet, u"");
  EXPECT_EQ(l.sex, u"未说明");
  EXPECT_EQ(l.nation, u"");
  EXPECT_EQ(l.born, u"年月日");
  EXPECT_EQ(l.address, u"");
  EXPECT_EQ(l.IDN, u"");
  EXPECT_EQ(l.reg, u"");
  EXPECT_EQ(l.ValidDate, u"..-..");
}

TEST(CardLabels, ByteOrderMarkShiftsEveryFieldByOne) {
  const std::u16string text = u"\uFEFF" + qx::card::BuildCardText(SampleCard());
  const CardLabels l = CardLabelsFrom(text);
  EXPECT_EQ(l.namet, u"\uFEFF张三" + std::u16string(12, u' '));
  EXPECT_EQ(l.sex, u"未说明");   // the name's last blank
  EXPECT_EQ(l.nation, u"朝鲜");  // "10": the sex code and the nation's first digit
  EXPECT_EQ(l.born, u"1198年00月10日");
  EXPECT_EQ(l.IDN, u" 11010119800101001");
  EXPECT_EQ(l.ValidDate, u" 200.60.10-1201.60.10");
}

TEST(CardLabels, ShortTextGivesShortAndEmptyFields) {
  // Text up to the birth date's month.
  const std::u16string text = qx::card::BuildCardText(SampleCard()).substr(0, 24);
  const CardLabels l = CardLabelsFrom(text);
  EXPECT_EQ(l.born, u"1980年01月日");
  EXPECT_EQ(l.address, u"");
  EXPECT_EQ(l.ValidDate, u"..-..");
}

TEST(CardLabels, TextPastCharacter110IsNotUsed) {
  const std::u16string text = qx::card::BuildCardText(SampleCard(), 110);
  const CardLabels a = CardLabelsFrom(text);
  const CardLabels b = CardLabelsFrom(text + u"XYZ长期 9999");
  EXPECT_EQ(a.ValidDate, b.ValidDate);
  EXPECT_EQ(a.reg, b.reg);
}

struct SexCase {
  std::u16string code;
  std::u16string shown;
};

TEST(CardLabels, SexTable) {
  const SexCase cases[] = {
      {u"0", u"未知"}, {u"1", u"男"}, {u"2", u"女"}, {u"9", u"未说明"}, {u" ", u"未说明"}, {u"A", u"未说明"},
  };
  for (const SexCase& c : cases) {
    EXPECT_EQ(CardLabelsFrom(WithCodes(c.code, u"01")).sex, c.shown) << std::string(c.code.begin(), c.code.end());
  }
  EXPECT_EQ(SexText(u""), u"未说明");
  EXPECT_EQ(SexText(u"11"), u"未说明");
}

struct NationCase {
  std::u16string code;
  std::u16string shown;
};

TEST(CardLabels, NationCodes) {
  const NationCase cases[] = {
      {u"01", u"汉"},   {u"56", u"基诺"}, {u"36", u"毛南"}, {u"46", u"德昂"}, {u"00", u"其他"},
      {u"57", u"其他"}, {u"99", u"其他"}, {u"  ", u""},     {u" 5", u"维吾尔"}, {u"5 ", u"维吾尔"},
  };
  for (const NationCase& c : cases) {
    EXPECT_EQ(CardLabelsFrom(WithCodes(u"1", c.code)).nation, c.shown)
        << "code [" << std::string(c.code.begin(), c.code.end()) << "]";
  }
}

TEST(GetNation, BlankCodeLeavesTheNameAsItWas) {
  std::u16string name = u"原样";
  GetNation(u"   ", name);
  EXPECT_EQ(name, u"原样");
  GetNation(u"", name);
  EXPECT_EQ(name, u"原样");
}

TEST(GetNation, CodesWithoutANameGiveOther) {
  const std::u16string codes[] = {u"0", u"57", u"58", u"255", u"256", u"99999999999999999999",
                                  u"0001x", u"ab", u"-1", u"1 2", u"\t1"};
  for (const std::u16string& code : codes) {
    std::u16string name;
    GetNation(code, name);
    EXPECT_EQ(name, u"其他") << std::string(code.begin(), code.end());
  }
  std::u16string name;
  GetNation(u"0001", name);
  EXPECT_EQ(name, u"汉");
}

struct DateCase {
  std::u16string field;
  std::u16string shown;
};

TEST(Dates, BornText) {
  const DateCase cases[] = {
      {u"19800101", u"1980年01月01日"},
      {u"", u"年月日"},
      {u"198", u"198年月日"},
      {u"abcdefgh", u"abcd年ef月gh日"},
  };
  for (const DateCase& c : cases) EXPECT_EQ(BornText(c.field), c.shown);
}

TEST(Dates, ValidDateText) {
  const DateCase cases[] = {
      {u"2006010120160101", u"2006.01.01-2016.01.01"},
      {u"20060101长期      ", u"2006.01.01-长期"},
      {u"20060101长期", u"2006.01.01-长期"},
      // "长期" counts only at characters 9-10.
      {u"200601011长期     ", u"2006.01.01-1长期 .  .  "},
      {u"20060101长", u"2006.01.01-长.."},
      {u"", u"..-.."},
  };
  for (const DateCase& c : cases) EXPECT_EQ(ValidDateText(c.field), c.shown);
}

TEST(ChipNumber, FirstBytesInUpperCaseHexWithBlanks) {
  std::vector<std::uint8_t> bytes(kChipBytes, 0x11);
  bytes[0] = 0x00;
  bytes[1] = 0x0A;
  bytes[2] = 0xFF;
  const std::u16string chip = ChipNumberText(bytes);
  EXPECT_EQ(chip.size(), 84u);
  EXPECT_EQ(chip.substr(0, 13), u" 00 0A FF 11 ");
  const std::u16string_view shown = TrimLeadingBlanks(chip);
  EXPECT_EQ(shown.size(), 83u);
  EXPECT_EQ(shown.substr(0, 8), u"00 0A FF");
}

TEST(ChipNumber, ZerosLongAndShortFiles) {
  std::u16string zeros;
  for (std::size_t i = 0; i < kChipBytes; ++i) zeros += i ? u" 00" : u"00";
  EXPECT_EQ(TrimLeadingBlanks(ChipNumberText(std::vector<std::uint8_t>(28, 0))), zeros);
  EXPECT_EQ(TrimLeadingBlanks(ChipNumberText({})), zeros);

  std::vector<std::uint8_t> forty(40, 0xAB);
  const std::u16string longer = ChipNumberText(forty);
  EXPECT_EQ(longer.size(), 84u);
  EXPECT_EQ(longer.substr(longer.size() - 3), u" AB");

  const std::u16string shortFile = ChipNumberText({0x12, 0x34});
  EXPECT_EQ(shortFile.substr(0, 12), u" 12 34 00 00");
  EXPECT_EQ(shortFile.size(), 84u);
}

struct CaptionCase {
  std::u16string samId;
  std::u16string caption;
};

TEST(Caption, AuthorisationNumberFromTheThirdAndFourthParts) {
  const std::u16string base = u"智能接口身份证阅读演示程序";
  const CaptionCase cases[] = {
      {u"05.01-20101217-0000001234-2305843009", base},
      {u"05.01-20101217-0000001234-2305843009-77", base + u"(授权号: 0000001234-2305843009) "},
      {u"a-b-c-d-e-f", base + u"(授权号: c-d) "},
      {u"----", base + u"(授权号: -) "},
      {u"", base},
      {u"no dashes", base},
  };
  for (const CaptionCase& c : cases) EXPECT_EQ(CaptionWithSamId(base, c.samId), c.caption);
  EXPECT_EQ(SplitAtDash(u"").size(), 0u);
  EXPECT_EQ(SplitAtDash(u"-").size(), 2u);
}

TEST(StatusTexts, ResultsAndLastResults) {
  EXPECT_EQ(ReadResultText(1), u"读卡成功!请放下一张卡...");
  EXPECT_EQ(ReadResultText(-1), u"相片解码错误!");
  EXPECT_EQ(ReadResultText(-2), u"wlt文件后缀错误!");
  EXPECT_EQ(ReadResultText(-3), u"wlt文件打开错误!");
  EXPECT_EQ(ReadResultText(-4), u"wlt文件格式错误!");
  for (int other : {0, 2, 7, -5, 32767}) EXPECT_EQ(ReadResultText(other), u"读卡失败!请重新放卡...");
  EXPECT_EQ(LastResultText(0), u"请放卡...");
  EXPECT_EQ(LastResultText(2), u"读卡失败!请重新放卡...");
}

}  // namespace
