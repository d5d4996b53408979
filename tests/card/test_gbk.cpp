// Tests of the GBK helpers: search, backslash, whole-character cuts, the field filling rule,
// trimming, leading digits.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "card/Gbk.h"
#include "card/Nation.h"

using namespace qx::card;

namespace {

const std::string kMan = "\xC4\xD0";    // 男
const std::string kWoman = "\xC5\xAE";  // 女
const std::string kHan = "\xBA\xBA";    // 汉
const std::string kReadSuffix = "(\xB6\xC1)";  // (读)

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

std::vector<uint8_t> Fill(size_t width, const std::string& text, uint8_t junk = 0xEE) {
  // One guard byte on each side catches writes outside the field.
  std::vector<uint8_t> buf(width + 2, junk);
  CopyField(buf.data() + 1, width, text);
  EXPECT_EQ(buf.front(), junk);
  EXPECT_EQ(buf.back(), junk);
  return std::vector<uint8_t>(buf.begin() + 1, buf.end() - 1);
}

std::vector<uint8_t> Bytes(const std::string& s, size_t width) {
  std::vector<uint8_t> v(s.begin(), s.end());
  v.resize(width, 0);
  return v;
}

}  // namespace

TEST(IsGbkLeadByte, Range) {
  EXPECT_FALSE(IsGbkLeadByte(0x80));
  EXPECT_TRUE(IsGbkLeadByte(0x81));
  EXPECT_TRUE(IsGbkLeadByte(0xFE));
  EXPECT_FALSE(IsGbkLeadByte(0xFF));
  EXPECT_FALSE(IsGbkLeadByte('A'));
}

TEST(GbkFind, Cases) {
  struct Case {
    std::string hay, needle;
    size_t want;
  } cases[] = {
      {"0802", "0802", 0},
      {"A0802B", "0802", 1},
      {"A0802B", "0800", kNpos},
      {"0800x0802", "0802", 5},
      {"0800x0802", "0800", 0},
      {"0801", "0800", kNpos},
      {"0801", "0802", kNpos},
      {"802", "0802", kNpos},
      {"", "0802", kNpos},
      {"abc", "", 0},
      // The trail byte of 男 (0xD0) followed by 0xC4 0xD0: a byte-wise search
      // would match at 1 across the characters 0xC4D0 0xC4D0 -> only whole ones.
      {kMan + kMan, kMan, 0},
      // 0xB0 0xC4 is one character; the D0 after it is no 男.
      {"\xB0\xC4\xD0", kMan, kNpos},
      {"\xB0\xC4" + kMan, kMan, 2},
      {kWoman, kMan, kNpos},
      {kWoman + kMan, kMan, 2},
      // A trail byte in the ASCII range that looks like the needle's start.
      {"\x81" "0802", "0802", kNpos},
      {"\x81" "00802", "0802", 2},
      // A lone lead byte at the end is a character of its own.
      {"ab\x81", "\x81", 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GbkFind(c.hay, c.needle), c.want) << "hay=" << c.hay << " needle=" << c.needle;
  }
}

TEST(GbkLastBackslash, SkipsTrailBytes) {
  struct Case {
    std::string text;
    size_t want;
  } cases[] = {
      {"C:\\dir\\file", 6},
      {"nofolder", kNpos},
      {"", kNpos},
      {"\\", 0},
      {"C:\\\x95\x5C", 2},  // 0x955C is one character: its trail is no separator
      {"\x95\x5C", kNpos},
      {"C:\\\x95\x5C\\x", 5},
      {"a\\\x81", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(GbkLastBackslash(c.text), c.want) << c.text;
}

TEST(CopyField, FillingRule) {
  struct Case {
    const char* what;
    size_t width;
    std::string text;
    std::string want;  // the field's bytes; the rest of the width is NUL
  } cases[] = {
      {"shorter", 10, "0802", "0802"},
      {"empty", 4, "", ""},
      {"exact fit, no terminator", 4, "0802", "0802"},
      {"longer single-byte", 3, "0802", "080"},
      {"double-byte exact", 4, kMan + kWoman, kMan + kWoman},
      {"cut would split a character", 3, kMan + kWoman, kMan},
      {"cut between characters", 2, kMan + kWoman, kMan},
      {"width 1, double-byte", 1, kMan, ""},
      {"text ends at its NUL", 10, std::string("ab\0cd", 5), "ab"},
      {"13 chars + (读) fill 30", 30, Repeat(kHan, 13) + kReadSuffix, Repeat(kHan, 13) + kReadSuffix},
      {"14 chars + (读) give 28 + (", 30, Repeat(kHan, 14) + kReadSuffix, Repeat(kHan, 14) + "("},
      {"15-char authority fills 30", 30, Repeat(kHan, 15), Repeat(kHan, 15)},
      {"16-char authority cut to 30", 30, Repeat(kHan, 16), Repeat(kHan, 15)},
      {"mixed cut", 5, "a" + kHan + kHan, "a" + kHan + kHan},
      {"mixed split", 4, "a" + kHan + kHan, "a" + kHan},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Fill(c.width, c.text), Bytes(c.want, c.width)) << c.what;
  }
}

TEST(GbkPrefix, WholeCharactersWithinTheLimit) {
  struct Case {
    const char* what;
    std::string text;
    size_t maxBytes;
    std::string want;
  } cases[] = {
      {"fits", kMan + "1", 3, kMan + "1"},
      {"limit zero", kMan, 0, ""},
      {"cut between characters", kMan + kWoman, 3, kMan},
      {"cut would split the first character", kMan, 1, ""},
      {"single bytes", "0802", 2, "08"},
      {"lead byte alone at the end counts alone", "a\xC4", 2, "a\xC4"},
      {"NUL is a character like any other", std::string("a\0b", 3), 2, std::string("a\0", 2)},
  };
  for (const Case& c : cases) EXPECT_EQ(GbkPrefix(c.text, c.maxBytes), c.want) << c.what;
}

TEST(CopyField, OverwritesOldContent) {
  std::vector<uint8_t> f(8, 'x');
  CopyField(f.data(), f.size(), "ab");
  EXPECT_EQ(f, Bytes("ab", 8));
}

TEST(FieldText, StopsAtNulOrWidth) {
  const uint8_t withNul[6] = {'a', 'b', 0, 'c', 'd', 'e'};
  EXPECT_EQ(FieldText(withNul, 6), "ab");
  const uint8_t full[4] = {'0', '8', '0', '2'};
  EXPECT_EQ(FieldText(full, 4), "0802");  // nothing read past the width
  EXPECT_EQ(FieldText(full, 0), "");
  EXPECT_EQ(FieldText(nullptr, 4), "");
}

TEST(TrimAnsi, BothEnds) {
  EXPECT_EQ(TrimAnsi("  \t\r\n\v\f" + kHan + " a \t\r\n\v\f "), kHan + " a");
  EXPECT_EQ(TrimAnsi(" \t "), "");
  EXPECT_EQ(TrimAnsi(""), "");
  EXPECT_EQ(TrimAnsi(kMan), kMan);
}

TEST(LeadingDecimal, Cases) {
  struct Case {
    std::string text;
    int want;
  } cases[] = {
      {"01", 1},          {"56", 56},          {"2", 2},
      {"", 0},            {"x", 0},            {" ", 0},
      {"12ab", 12},       {"+7", 7},           {"-3", -3},
      {" 9", 9},          {kHan, 0},           {"2147483647", INT_MAX},
      {"99999999999999999999", INT_MAX},       {"-99999999999999999999", INT_MIN},
      {"-2147483648", INT_MIN},
  };
  for (const Case& c : cases) EXPECT_EQ(LeadingDecimal(c.text), c.want) << c.text;
}

TEST(NationName, TableEnds) {
  EXPECT_EQ(NationName(1), u"汉");
  EXPECT_EQ(NationName(2), u"蒙古");
  EXPECT_EQ(NationName(29), u"柯尔克孜");
  EXPECT_EQ(NationName(36), u"毛南");
  EXPECT_EQ(NationName(46), u"德昂");
  EXPECT_EQ(NationName(56), u"基诺");
  for (int code : {0, 57, -1, INT_MIN, INT_MAX}) EXPECT_TRUE(NationName(code).empty()) << code;
  for (int code = 1; code <= kNationCount; ++code) EXPECT_FALSE(NationName(code).empty()) << code;
}
