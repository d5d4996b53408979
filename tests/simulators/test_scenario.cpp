// Unit tests of the simulators' scenario parser and of what a card hands out.
#include "Scenario.h"

#include "card/Utf.h"
#include "card/CardTextBlock.h"

#include <gtest/gtest.h>

using namespace qx::readersim;
using qx::card::Utf16FromUtf8;
using qx::card::Utf8FromUtf16;

namespace {

const char kFull[] =
    "\xEF\xBB\xBF"
    "; a comment line\n"
    "# another\n"
    "[reader]\n"
    "ports = 1, 3-4 1002   ; trailing comment\n"
    "baud = 9600\n"
    "samid = 05.01-20101217-0000009999-1234567890\n"
    "present = 3\n"
    "\n"
    "[card]\r\n"
    u8"name = 张三\r\n"
    "sex = 1\n"
    "nation = 01\n"
    "birth = 19800101\n"
    u8"address = 北京市东城区3#楼   # comment after a blank\n"
    "id = 110101198001010011\n"
    u8"authority = 北京市公安局东城分局\n"
    "valid_start = 20060101\n"
    u8"valid_end = 长期\n"
    "photo = bad\n"
    "block_hex =             ; optional\n"
    u8"newadd = 北京市海淀区\n"
    "chip_hex = 00 0a FF\n"
    "[card]\n"
    u8"name = 李四\n"
    "block_hex = 4e00 3000\n"
    "[results]\n"
    "SDT_OpenPort#1 = 0x41\n"
    "SDT_ReadBaseMsg#2 = fault\n"
    "GetBmp = 0\n"
    "read_content#3 = -2\n";

}  // namespace

TEST(Scenario, ParsesEveryKey) {
  const Scenario s = ParseScenario(kFull);
  EXPECT_TRUE(s.warnings.empty()) << s.warnings.front();
  EXPECT_TRUE(s.PortAnswers(1));
  EXPECT_FALSE(s.PortAnswers(2));
  EXPECT_TRUE(s.PortAnswers(3));
  EXPECT_TRUE(s.PortAnswers(4));
  EXPECT_FALSE(s.PortAnswers(1001));
  EXPECT_TRUE(s.PortAnswers(1002));
  EXPECT_EQ(s.baud, 9600u);
  EXPECT_EQ(s.samid, "05.01-20101217-0000009999-1234567890");
  EXPECT_EQ(s.present.kind, Presence::Kind::Count);
  EXPECT_EQ(s.present.count, 3u);

  ASSERT_EQ(s.cards.size(), 2u);
  const SimCard& c = s.cards[0];
  EXPECT_EQ(c.name, u"张三");
  EXPECT_EQ(c.sex, u"1");
  EXPECT_EQ(c.nation, u"01");
  EXPECT_EQ(c.birth, u"19800101");
  EXPECT_EQ(c.address, u"北京市东城区3#楼");
  EXPECT_EQ(c.id, u"110101198001010011");
  EXPECT_EQ(c.authority, u"北京市公安局东城分局");
  EXPECT_EQ(c.validStart, u"20060101");
  EXPECT_EQ(c.validEnd, u"长期");
  EXPECT_FALSE(c.photoOk);
  EXPECT_FALSE(c.block.has_value());
  EXPECT_EQ(c.newadd, u"北京市海淀区");
  ASSERT_TRUE(c.chip.has_value());
  EXPECT_EQ(*c.chip, (std::vector<std::uint8_t>{0x00, 0x0A, 0xFF}));
  EXPECT_EQ(s.cards[1].block, (std::vector<std::uint8_t>{0x4E, 0x00, 0x30, 0x00}));
  EXPECT_TRUE(s.cards[1].photoOk);

  EXPECT_EQ(s.ForcedFor(Op::SDT_OpenPort, 1), (Forced{Forced::Kind::Value, 0x41}));
  EXPECT_TRUE(s.ForcedFor(Op::SDT_OpenPort, 2).IsNone());
  EXPECT_TRUE(s.ForcedFor(Op::SDT_ReadBaseMsg, 2).IsFault());
  EXPECT_TRUE(s.ForcedFor(Op::SDT_ReadBaseMsg, 1).IsNone());
  EXPECT_EQ(s.ForcedFor(Op::GetBmp, 7), (Forced{Forced::Kind::Value, 0}));
  EXPECT_EQ(s.ForcedFor(Op::Read_Content, 3), (Forced{Forced::Kind::Value, -2}));
}

TEST(Scenario, DefaultsWithoutText) {
  const Scenario s = ParseScenario("");
  EXPECT_TRUE(s.PortAnswers(1001));
  EXPECT_FALSE(s.PortAnswers(1));
  EXPECT_EQ(s.baud, 115200u);
  EXPECT_EQ(s.samid, kDefaultSamId);
  EXPECT_EQ(s.present.kind, Presence::Kind::Always);
  EXPECT_TRUE(s.cards.empty());
  for (std::size_t i = 0; i < kOpCount; ++i) EXPECT_TRUE(s.ForcedFor(static_cast<Op>(i), 1).IsNone());
}

TEST(Scenario, CallNumberWinsOverTheRuleForEveryCall) {
  const Scenario s = ParseScenario("[results]\nAuthenticate#2 = 7\nAuthenticate = 0\n");
  EXPECT_EQ(s.ForcedFor(Op::Authenticate, 1).value, 0);
  EXPECT_EQ(s.ForcedFor(Op::Authenticate, 2).value, 7);
  EXPECT_EQ(s.ForcedFor(Op::Authenticate, 3).value, 0);
  EXPECT_TRUE(s.ForcedFor(Op::AuthenticateExt, 2).IsNone());
}

TEST(Scenario, EmptyPortListAnswersNoPort) {
  const Scenario s = ParseScenario("[reader]\nports =\n");
  EXPECT_TRUE(s.warnings.empty());
  EXPECT_FALSE(s.PortAnswers(1001));
  EXPECT_FALSE(s.PortAnswers(1));
}

TEST(Scenario, PresentValues) {
  EXPECT_EQ(ParseScenario("[reader]\npresent = never\n").present.kind, Presence::Kind::Never);
  EXPECT_EQ(ParseScenario("[reader]\npresent = ALWAYS\n").present.kind, Presence::Kind::Always);
  const Scenario zero = ParseScenario("[reader]\npresent = 0\n");
  EXPECT_EQ(zero.present.kind, Presence::Kind::Count);
  EXPECT_EQ(zero.present.count, 0u);
}

TEST(Scenario, WhatItDoesNotUnderstandIsReportedAndLeftAtItsDefault) {
  struct Case {
    const char* text;
    const char* warningPart;
  };
  const Case cases[] = {
      {"[reader]\nbaud = fast\n", "line 2: bad baud"},
      {"[reader]\nports = 1001-1000\n", "bad port"},
      {"[reader]\nports = COM1\n", "bad port"},
      {"[reader]\npresent = sometimes\n", "bad present"},
      {"[reader]\ncolour = red\n", "unknown key colour"},
      {"[card]\nphoto = blurred\n", "bad photo"},
      {"[card]\nblock_hex = 4e0\n", "bad block_hex"},
      {"[card]\nchip_hex = zz\n", "bad chip_hex"},
      {"[results]\nSDT_Open = 1\n", "unknown operation"},
      {"[results]\nSDT_OpenPort#0 = 1\n", "bad call number"},
      {"[results]\nSDT_OpenPort = yes\n", "bad result"},
      {"[printer]\nx = 1\n", "unknown section"},
      {"name = x\n", "key outside a section"},
      {"[reader]\njust text\n", "no '='"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const Scenario s = ParseScenario(c.text);
    ASSERT_EQ(s.warnings.size(), 1u);
    EXPECT_NE(s.warnings[0].find(c.warningPart), std::string::npos) << s.warnings[0];
    EXPECT_EQ(s.baud, 115200u);
    EXPECT_TRUE(s.PortAnswers(1001));
    EXPECT_EQ(s.present.kind, Presence::Kind::Always);
    for (const SimCard& card : s.cards) {
      EXPECT_TRUE(card.photoOk);
      EXPECT_FALSE(card.block.has_value());
      EXPECT_FALSE(card.chip.has_value());
    }
  }
}

TEST(Scenario, IntegersAndHexBytes) {
  EXPECT_EQ(ParseInteger("144"), 144);
  EXPECT_EQ(ParseInteger("0x90"), 144);
  EXPECT_EQ(ParseInteger("0X9f"), 159);
  EXPECT_EQ(ParseInteger("-2"), -2);
  EXPECT_EQ(ParseInteger(" 7 "), 7);
  EXPECT_FALSE(ParseInteger(""));
  EXPECT_FALSE(ParseInteger("0x"));
  EXPECT_FALSE(ParseInteger("12a"));
  EXPECT_FALSE(ParseInteger("99999999999999"));
  EXPECT_EQ(ParseScenario("[results]\nGetBmp = 0xFFFFFFFF\n").ForcedFor(Op::GetBmp, 1).value, -1);

  EXPECT_EQ(ParseHexBytes(""), std::vector<std::uint8_t>{});
  EXPECT_EQ(ParseHexBytes("0aFf 10"), (std::vector<std::uint8_t>{0x0A, 0xFF, 0x10}));
  EXPECT_FALSE(ParseHexBytes("0 a"));
  EXPECT_FALSE(ParseHexBytes("abc"));
}

TEST(SimCard, TextBlockFromFieldsOrRawBytes) {
  const Scenario s = ParseScenario(kFull);
  const std::vector<std::uint8_t> block = s.cards[0].TextBlock();
  ASSERT_EQ(block.size(), qx::card::kCardTextBlockBytes);
  const qx::card::CardTextFields f = qx::card::CutCardText(block.data(), block.size());
  EXPECT_EQ(qx::card::TrimWhite(f.name), u"张三");
  EXPECT_EQ(f.id, u"110101198001010011");
  EXPECT_TRUE(qx::card::IsLongTerm(f.validity));
  EXPECT_EQ(s.cards[1].TextBlock(), (std::vector<std::uint8_t>{0x4E, 0x00, 0x30, 0x00}));
}

TEST(SimCard, ChipBytesAndSerialNumberFollowTheCard) {
  SimCard a;
  a.id = u"110101198001010011";
  SimCard b;
  b.id = u"110101198001010029";
  EXPECT_EQ(a.ChipBytes().size(), 28u);
  EXPECT_EQ(a.ChipBytes(), a.ChipBytes());
  EXPECT_NE(a.ChipBytes(), b.ChipBytes());
  EXPECT_NE(a.SerialNumber(), b.SerialNumber());
  b.chip = std::vector<std::uint8_t>(40, 0x11);
  EXPECT_EQ(b.ChipBytes().size(), 40u);
}

TEST(Utf, RoundTripAndReplacement) {
  const std::u16string text = u"张三 abc 𠀀";
  EXPECT_EQ(Utf16FromUtf8(Utf8FromUtf16(text)), text);
  EXPECT_EQ(Utf8FromUtf16(u"长期"), "\xE9\x95\xBF\xE6\x9C\x9F");
  EXPECT_EQ(Utf16FromUtf8("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf16FromUtf8("\xE9\x95"), u"\uFFFD");  // cut short
  EXPECT_EQ(Utf16FromUtf8("\xC0\x80"), u"\uFFFD");  // overlong
  EXPECT_EQ(Utf8FromUtf16(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}
