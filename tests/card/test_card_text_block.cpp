// Unit tests of the card text block: positions, cutting, trimming and building.
#include "card/CardTextBlock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SampleCard.h"

using namespace qx::card;

namespace {

std::u16string Pad(std::u16string s, std::size_t width) {
  s.resize(width, u' ');
  return s;
}

// A block assembled by hand, field by field, independent of the builder.
std::u16string SampleBlock() {
  return Pad(u"张三", 15) + u"1" + u"01" + u"19800101" + Pad(u"北京市东城区景山前街4号", 35) +
         u"110101198001010011" + Pad(u"北京市公安局东城分局", 15) + u"20060101" + u"20260101" +
         std::u16string(18, u' ');
}

struct SpanCase {
  CardField field;
  std::size_t position;
  std::size_t length;
  std::size_t firstByte;
  std::size_t lastByte;
};

const SpanCase kSpans[] = {
    {CardField::Name, 1, 15, 0, 29},         {CardField::Sex, 16, 1, 30, 31},
    {CardField::Nation, 17, 2, 32, 35},      {CardField::Birth, 19, 8, 36, 51},
    {CardField::Address, 27, 35, 52, 121},   {CardField::Id, 62, 18, 122, 157},
    {CardField::Authority, 80, 15, 158, 187}, {CardField::Validity, 95, 16, 188, 219},
    {CardField::ValidStart, 95, 8, 188, 203}, {CardField::ValidEnd, 103, 8, 204, 219},
};

}  // namespace

TEST(CardTextBlock, FieldPositionsAndByteOffsets) {
  for (const SpanCase& c : kSpans) {
    const FieldSpan s = SpanOf(c.field);
    EXPECT_EQ(s.position, c.position);
    EXPECT_EQ(s.length, c.length);
    EXPECT_EQ(ByteOffsetOf(s), c.firstByte);
    EXPECT_EQ(ByteOffsetOf(s) + 2 * s.length - 1, c.lastByte);
  }
}

TEST(CardTextBlock, EachFieldIsCutFromItsOwnBytes) {
  // Every character of the block carries the number of its position, so a field that
  // is off by one character (or one byte) shows at once.
  std::vector<std::uint8_t> bytes(kCardTextBlockBytes);
  for (std::size_t i = 0; i < kCardTextBlockChars; ++i) {
    bytes[2 * i] = static_cast<std::uint8_t>(i + 1);
    bytes[2 * i + 1] = 0x4E;  // high byte set: a real UCS-2 character, not ASCII
  }
  for (const SpanCase& c : kSpans) {
    const std::u16string f = CutField(bytes.data(), bytes.size(), c.field);
    ASSERT_EQ(f.size(), c.length);
    EXPECT_EQ(f.front(), static_cast<char16_t>(0x4E00 | c.position));
    EXPECT_EQ(f.back(), static_cast<char16_t>(0x4E00 | (c.position + c.length - 1)));
  }
}

TEST(CardTextBlock, CutsTheSampleCardUntrimmed) {
  const CardTextFields f = CutCardText(SampleBlock());
  EXPECT_EQ(f.name, Pad(u"张三", 15));
  EXPECT_EQ(f.sex, u"1");
  EXPECT_EQ(f.nation, u"01");
  EXPECT_EQ(f.birth, u"19800101");
  EXPECT_EQ(f.address, Pad(u"北京市东城区景山前街4号", 35));
  EXPECT_EQ(f.id, u"110101198001010011");
  EXPECT_EQ(f.authority, Pad(u"北京市公安局东城分局", 15));
  EXPECT_EQ(f.validity, u"2006010120260101");
  EXPECT_EQ(f.validStart, u"20060101");
  EXPECT_EQ(f.validEnd, u"20260101");
  EXPECT_FALSE(IsLongTerm(f.validity));
  EXPECT_EQ(TrimWhite(f.name), u"张三");
}

TEST(CardTextBlock, FifteenCharacterNameIsFollowedAtOnceBySex) {
  CardTextInput in = qx::test::SampleCardInput();
  in.name = u"欧阳娜娜娜娜娜娜娜娜娜娜娜娜娜";  // 15 characters
  in.sex = u"2";
  const std::u16string block = BuildCardText(in);
  EXPECT_EQ(block.substr(0, 16), in.name + u"2");
  const CardTextFields f = CutCardText(block);
  EXPECT_EQ(f.name, in.name);
  EXPECT_EQ(f.sex, u"2");
  EXPECT_EQ(f.nation, u"01");
}

TEST(CardTextBlock, LongTermValidity) {
  CardTextInput in = qx::test::SampleCardInput();
  in.validEnd = kLongTerm;
  const std::u16string block = BuildCardText(in);
  EXPECT_EQ(block.substr(102, 2), u"长期");
  const CardTextFields f = CutCardText(block);
  EXPECT_EQ(f.validity, u"20060101长期      ");
  EXPECT_EQ(f.validStart, u"20060101");
  EXPECT_EQ(f.validEnd, u"长期      ");
  EXPECT_TRUE(IsLongTerm(f.validity));
  // "长期" counts only at characters 9-10 of the validity.
  EXPECT_FALSE(IsLongTerm(u"长期200601010000"));
  EXPECT_FALSE(IsLongTerm(u"20060101长"));
}

TEST(CardTextBlock, BlockLongerThan110CharactersGivesTheSameFields) {
  const std::u16string exact = SampleBlock().substr(0, kCardTextFieldChars);
  std::u16string longer = exact + u"尾巴XYZ";
  longer.append(300, u'九');
  const CardTextFields a = CutCardText(exact);
  const CardTextFields b = CutCardText(longer);
  EXPECT_EQ(a.name, b.name);
  EXPECT_EQ(a.sex, b.sex);
  EXPECT_EQ(a.nation, b.nation);
  EXPECT_EQ(a.birth, b.birth);
  EXPECT_EQ(a.address, b.address);
  EXPECT_EQ(a.id, b.id);
  EXPECT_EQ(a.authority, b.authority);
  EXPECT_EQ(a.validity, b.validity);
  EXPECT_EQ(b.validEnd, u"20260101");
}

TEST(CardTextBlock, ShortBlocksGiveShortOrEmptyFields) {
  const std::u16string full = SampleBlock();
  for (std::size_t len : {0u, 1u, 15u, 16u, 17u, 20u, 61u, 70u, 94u, 100u, 109u}) {
    SCOPED_TRACE(len);
    const std::u16string block = full.substr(0, len);
    for (const SpanCase& c : kSpans) {
      const std::u16string f = CutField(block, c.field);
      std::u16string expected;
      if (c.position - 1 < len) {
        expected = full.substr(c.position - 1, std::min(c.length, len - (c.position - 1)));
      }
      EXPECT_EQ(f, expected);
    }
  }
}

TEST(CardTextBlock, BytesFormDropsAnOddLastByte) {
  const std::vector<std::uint8_t> bytes = Ucs2LeFromText(u"张三");
  ASSERT_EQ(bytes.size(), 4u);
  EXPECT_EQ(bytes[0], 0x20);  // U+5F20 low byte first
  EXPECT_EQ(bytes[1], 0x5F);
  EXPECT_EQ(TextFromUcs2Le(bytes.data(), 3), u"张");
  EXPECT_EQ(TextFromUcs2Le(nullptr, 10), u"");
  EXPECT_EQ(CutField(bytes.data(), 3, CardField::Name), u"张");
  EXPECT_EQ(CutField(bytes.data(), 4, CardField::Sex), u"");
}

TEST(CardTextBlock, TrimWhiteRemovesWhiteSpaceAtBothEndsOnly) {
  struct Case {
    std::u16string in;
    std::u16string out;
  };
  const Case cases[] = {
      {u"", u""},
      {u"     ", u""},
      {u"张三             ", u"张三"},
      {u"  张 三  ", u"张 三"},
      {u"\t\r\n\v\f张三\t", u"张三"},
      {u"\u3000张三\u3000", u"\u3000张三\u3000"},  // the full-width blank is text, not padding
      {u"x", u"x"},
  };
  for (const Case& c : cases) EXPECT_EQ(TrimWhite(c.in), c.out);
}

TEST(CardTextBlock, BuilderMatchesTheHandMadeBlock) {
  EXPECT_EQ(BuildCardText(qx::test::SampleCardInput()), SampleBlock());
  const std::vector<std::uint8_t> bytes = BuildCardTextBytes(qx::test::SampleCardInput());
  ASSERT_EQ(bytes.size(), kCardTextBlockBytes);
  EXPECT_EQ(TextFromUcs2Le(bytes.data(), bytes.size()), SampleBlock());
}

TEST(CardTextBlock, BuilderCutsOverlongFieldsAndHonoursTheLength) {
  CardTextInput in = qx::test::SampleCardInput();
  in.name = u"一二三四五六七八九十一二三四五六七";  // 17 characters
  in.sex = u"12";
  const std::u16string block = BuildCardText(in);
  const CardTextFields f = CutCardText(block);
  EXPECT_EQ(f.name, u"一二三四五六七八九十一二三四五");
  EXPECT_EQ(f.sex, u"1");
  EXPECT_EQ(f.nation, u"01");

  EXPECT_EQ(BuildCardText(in, 200).size(), 200u);
  EXPECT_EQ(BuildCardText(in, 200).substr(110), std::u16string(90, u' '));
  const std::u16string cut = BuildCardText(qx::test::SampleCardInput(), 20);
  EXPECT_EQ(cut, SampleBlock().substr(0, 20));
}
