// Kestrin's card fields: the converters, the cutting of one card text, the address split and
// the copy layout arithmetic. GBK comes from the C library (native) or code page 936 (Wine).
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <string>

#include "CardFields.h"
#include "SampleCard.h"
#include "card/CardTextBlock.h"
#include "card/Nation.h"

namespace {

using namespace qx::kestrin;

std::string ToGbk(std::u16string_view s) {
  if (s.empty()) return {};
#ifdef _WIN32
  const std::wstring w(s.begin(), s.end());
  const int n = WideCharToMultiByte(936, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(936, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr, nullptr);
  return out;
#else
  iconv_t cd = iconv_open("GBK", "UTF-16LE");
  std::string out(s.size() * 2 + 8, '\0');
  char* in = const_cast<char*>(reinterpret_cast<const char*>(s.data()));
  char* put = out.data();
  size_t inLeft = s.size() * 2, outLeft = out.size();
  iconv(cd, &in, &inLeft, &put, &outLeft);
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
#endif
}

CardFields Read(std::u16string_view text) {
  CardFields f;
  ReadCardText(text, f, ToGbk);
  return f;
}

std::u16string Block(const qx::card::CardTextInput& c, size_t chars = 120) { return qx::card::BuildCardText(c, chars); }

TEST(KestrinCardFields, FormatBirthDate) {
  const struct { const char* in; const char* out; } cases[] = {
      {"19800101", "1980-01-01"}, {"20001231", "2000-12-31"}, {"198001", "1980-01-"},
      {"19", "19--"},             {"", "--"},                 {"1980010199", "1980-01-01"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatBirthDate(c.in), c.out) << c.in;
}

TEST(KestrinCardFields, SexName) {
  const struct { int code; std::u16string_view name; } cases[] = {
      {1, u"男"}, {2, u"女"}, {0, u""}, {3, u""}, {9, u""}, {-1, u""},
  };
  for (const auto& c : cases) EXPECT_EQ(SexName(c.code), c.name) << c.code;
}

TEST(KestrinCardFields, NationNamesAreKestrinsOwn) {
  const struct { int code; std::u16string_view name; } cases[] = {
      {1, u"汉"},    {36, u"毛难"},      {46, u"崩龙"}, {56, u"基诺"}, {57, u"其他"},
      {58, u"外国血统"}, {0, u""},       {59, u""},     {99, u""},     {-1, u""},
  };
  for (const auto& c : cases) EXPECT_EQ(NationName(c.code), c.name) << c.code;
  // Apart from its two older names the table is the common one, code for code.
  for (int code = 1; code <= 56; ++code) {
    if (code == 36 || code == 46) {
      EXPECT_NE(NationName(code), qx::card::NationName(code)) << code;
    } else {
      EXPECT_EQ(NationName(code), qx::card::NationName(code)) << code;
    }
  }
}

TEST(KestrinCardFields, SplitValidity) {
  const std::string longTerm = ToGbk(u"长期");
  const struct { std::string in, start, end; } cases[] = {
      {"2006010120260101", "2006.01.01", "2026.01.01"},
      {"20200101" + longTerm, "2020.01.01", longTerm + ".."},
      {"20200101", "2020.01.01", ".."},
      {"202001", "2020.01.", ".."},
      {"", "..", ".."},
  };
  for (const auto& c : cases) {
    std::string start = "old", end = "old";
    SplitValidity(c.in, start, end);
    EXPECT_EQ(start, c.start) << c.in;
    EXPECT_EQ(end, c.end) << c.in;
  }
}

TEST(KestrinCardFields, CardCodeTakesDecimalNumbersOnly) {
  const struct { std::u16string_view in; int value; } good[] = {
      {u"1", 1}, {u"01", 1}, {u"58", 58}, {u"00", 0}, {u"-1", -1}, {u"+7", 7},
  };
  for (const auto& c : good) EXPECT_EQ(CardCode(c.in), c.value);
  for (std::u16string_view bad : {u"", u"a", u"+", u"-", u"1a", u"１", u"1 2", u"99999999999"})
    EXPECT_THROW(CardCode(bad), CardCodeError);
}

TEST(KestrinCardFields, TrimTakesControlsAndBlanksOnly) {
  EXPECT_EQ(TrimCardRun(std::u16string(u"\0\x1F a b \t\x20", 8)), u"a b");
  EXPECT_EQ(TrimCardRun(u"\u3000名\u3000"), u"\u3000名\u3000");  // the ideographic space stays
  EXPECT_EQ(TrimCardRun(u"   "), u"");
  EXPECT_EQ(TrimAnsiBlank(std::string("\0\x01 x y\x7F \r\n", 10)), "x y\x7F");
  EXPECT_EQ(TrimAnsiBlank(ToGbk(u" 张 ")), ToGbk(u"张"));
}

TEST(KestrinCardFields, SampleCardFillsEveryField) {
  const CardFields f = Read(Block(qx::test::SampleCardInput()));
  EXPECT_EQ(f.edtName, ToGbk(u"张三"));
  EXPECT_EQ(f.edtSex, ToGbk(u"男"));
  EXPECT_EQ(f.hidSexID, "1");
  EXPECT_EQ(f.edtNation, ToGbk(u"汉"));
  EXPECT_EQ(f.hidNationID, "01");
  EXPECT_EQ(f.edtBirh, "1980-01-01");
  EXPECT_EQ(f.edtAddr, ToGbk(u"北京市东城区景山前街4号"));
  EXPECT_EQ(f.edtId, "110101198001010011");
  EXPECT_EQ(f.edtSendDep, ToGbk(u"北京市公安局东城分局"));
  EXPECT_EQ(f.hidExpireS, "2006.01.01");
  EXPECT_EQ(f.hidExpireE, "2026.01.01");
  EXPECT_EQ(f.edtExpire, "2006.01.01-2026.01.01");
}

TEST(KestrinCardFields, LongTermCardEndsInTwoPoints) {
  auto c = qx::test::SampleCardInput();
  c.validStart = u"20200315";
  c.validEnd = u"长期";
  const CardFields f = Read(Block(c));
  EXPECT_EQ(f.hidExpireS, "2020.03.15");
  EXPECT_EQ(f.hidExpireE, ToGbk(u"长期") + "..");
  EXPECT_EQ(f.edtExpire, "2020.03.15-" + ToGbk(u"长期") + "..");
}

TEST(KestrinCardFields, SexAndNationCodes) {
  const struct { std::u16string sex, nation; std::u16string_view sexName, nationName; } cases[] = {
      {u"2", u"57", u"女", u"其他"},  {u"1", u"58", u"男", u"外国血统"}, {u"0", u"00", u"", u""},
      {u"9", u"59", u"", u""},       {u"1", u"99", u"男", u""},         {u"2", u"36", u"女", u"毛难"},
      {u"1", u" 5", u"男", u"维吾尔"},
  };
  for (const auto& c : cases) {
    auto in = qx::test::SampleCardInput();
    in.sex = c.sex;
    in.nation = c.nation;
    const CardFields f = Read(Block(in));
    EXPECT_EQ(f.edtSex, ToGbk(c.sexName));
    EXPECT_EQ(f.hidSexID, ToGbk(c.sex));
    EXPECT_EQ(f.edtNation, ToGbk(c.nationName));
    EXPECT_EQ(f.hidNationID, ToGbk(TrimCardRun(c.nation)));
  }
}

TEST(KestrinCardFields, NamePaddingAndFullWidth) {
  auto c = qx::test::SampleCardInput();
  c.name = u"欧阳";  // blanks up to 15
  EXPECT_EQ(Read(Block(c)).edtName, ToGbk(u"欧阳"));
  c.name = u"一二三四五六七八九十一二三四五";  // 15: the sex code follows at once
  const CardFields f = Read(Block(c));
  EXPECT_EQ(f.edtName, ToGbk(c.name));
  EXPECT_EQ(f.hidSexID, "1");
}

TEST(KestrinCardFields, NulPaddedFieldsAreTrimmed) {
  std::u16string text = Block(qx::test::SampleCardInput());
  for (char16_t& ch : text)
    if (ch == u' ') ch = u'\0';
  const CardFields f = Read(text);
  EXPECT_EQ(f.edtName, ToGbk(u"张三"));
  EXPECT_EQ(f.edtAddr.size(), ToGbk(u"北京市东城区景山前街4号").size());
  EXPECT_EQ(f.edtSendDep, ToGbk(u"北京市公安局东城分局"));
}

TEST(KestrinCardFields, TextPastPosition110IsIgnored) {
  const auto c = qx::test::SampleCardInput();
  std::u16string longer = Block(c, 110) + u"XXXXXXXXXX";
  EXPECT_EQ(Read(longer), Read(Block(c, 110)));
}

TEST(KestrinCardFields, ShortTextGivesShortFields) {
  const std::u16string full = Block(qx::test::SampleCardInput(), 110);
  // Cut inside the address: the address is what exists, later fields are empty.
  const CardFields f = Read(full.substr(0, 30));
  EXPECT_EQ(f.edtBirh, "1980-01-01");
  EXPECT_EQ(f.edtAddr, ToGbk(u"北京市东"));
  EXPECT_EQ(f.edtId, "");
  EXPECT_EQ(f.edtSendDep, "");
  EXPECT_EQ(f.hidExpireS, "..");
  EXPECT_EQ(f.edtExpire, "..-..");
}

TEST(KestrinCardFields, BadCodeStopsWithEarlierFieldsFilled) {
  CardFields old;
  old.edtName = old.edtSex = old.hidSexID = old.edtNation = old.hidNationID = old.edtId = "old";
  const std::u16string full = Block(qx::test::SampleCardInput(), 110);

  struct Case {
    std::u16string text;
    bool sexNew;          // the sex fields were filled before the error
    std::u16string code;  // what the error carries
  };
  std::u16string badNation = full;
  badNation[16] = u'A';
  badNation[17] = u'7';
  std::u16string badSex = full;
  badSex[15] = u'x';
  const Case cases[] = {
      {full.substr(0, 15), false, u""},  // no sex code at all
      {badSex, false, u"x"},
      {full.substr(0, 16), true, u""},   // no nation code
      {badNation, true, u"A7"},
  };
  for (const Case& c : cases) {
    CardFields f = old;
    std::u16string code = u"<none>";
    try {
      ReadCardText(c.text, f, ToGbk);
    } catch (const CardCodeError& e) {
      code = e.Code();
    }
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(f.edtName, ToGbk(u"张三"));
    EXPECT_EQ(f.hidSexID, c.sexNew ? "1" : "old");
    EXPECT_EQ(f.edtNation, "old");
    EXPECT_EQ(f.hidNationID, "old");
    EXPECT_EQ(f.edtId, "old");
  }
}

TEST(KestrinCardFields, FaceAddressSplitsAfterEleven) {
  const struct { std::u16string in, first, rest; } cases[] = {
      {u"一二三四五六七八九十甲乙", u"一二三四五六七八九十甲", u"乙"},
      {u"一二三四五六七八九十甲", u"一二三四五六七八九十甲", u""},
      {u"", u"", u""},
      {u"ab", u"ab", u""},
  };
  for (const auto& c : cases) {
    const auto [first, rest] = SplitFaceAddress(c.in);
    EXPECT_EQ(first, c.first);
    EXPECT_EQ(rest, c.rest);
  }
}

TEST(KestrinCardFields, AddressLinesOfEleven) {
  const std::u16string a35(35, u'地');
  const auto lines = AddressLines(a35);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].size(), 11u);
  EXPECT_EQ(lines[2].size(), 11u);
  EXPECT_EQ(lines[3].size(), 2u);
  EXPECT_EQ(AddressLines(std::u16string(11, u'a')).size(), 1u);
  EXPECT_EQ(AddressLines(std::u16string(22, u'a')).size(), 2u);
  EXPECT_TRUE(AddressLines(u"").empty());
}

TEST(KestrinCardFields, ParseBirthDate) {
  const struct { const char* in; int y, m, d; } good[] = {
      {"1980-01-01", 1980, 1, 1}, {"1980-1-9", 1980, 1, 9}, {"2000-02-29", 2000, 2, 29}, {"1999/12/31", 1999, 12, 31},
  };
  for (const auto& c : good) {
    const auto d = ParseBirthDate(c.in);
    ASSERT_TRUE(d) << c.in;
    EXPECT_EQ(d->year, c.y);
    EXPECT_EQ(d->month, c.m);
    EXPECT_EQ(d->day, c.d);
  }
  for (const char* bad : {"", "--", "19800101", "1980-13-01", "1980-00-10", "1980-01-32", "1900-02-29",
                          "1981-04-31", "1980-01-01x", "1980-01", "0000-01-01", "1980.01.01", "19800-01-01"})
    EXPECT_FALSE(ParseBirthDate(bad)) << bad;
}

TEST(KestrinCardFields, LayoutOfA102By126Photo) {
  EXPECT_EQ(FacePhotoAt(102, 126), (PixelPoint{470, 93}));
  const CopyLayout l = CopyLayoutFor(102, 126);
  EXPECT_EQ(l.width, 333);
  EXPECT_EQ(l.height, 219);
  EXPECT_EQ(l.photo, (PixelPoint{211, 28}));
  EXPECT_EQ(l.name, (PixelPoint{70, 27}));
  EXPECT_EQ(l.sex, (PixelPoint{70, 57}));
  EXPECT_EQ(l.nation, (PixelPoint{137, 57}));
  EXPECT_EQ(l.birthYear, (PixelPoint{70, 85}));
  EXPECT_EQ(l.birthMonth, (PixelPoint{121, 85}));
  EXPECT_EQ(l.birthDay, (PixelPoint{149, 85}));
  const int lineY[] = {113, 130, 146, 162};
  for (int r = 0; r < 4; ++r) EXPECT_EQ(l.AddressLineY(r), lineY[r]) << r;
  EXPECT_EQ(l.idY, 179);
  const int idX[] = {110, 120, 130, 140, 149, 159, 169, 179, 189, 198, 208, 218, 228, 238, 247, 257, 267, 277};
  for (int i = 0; i < 18; ++i) EXPECT_EQ(l.IdCharX(i), idX[i]) << i;
  EXPECT_EQ(l.authority, (PixelPoint{137, 154}));
  EXPECT_EQ(l.validity, (PixelPoint{137, 182}));
  EXPECT_EQ(CopyFileSize(l.width, l.height), (PixelSize{343, 448}));
}

TEST(KestrinCardFields, LayoutScalesWithThePhoto) {
  // Integer product first, then the division: 1 x 120 / 26 is 4, not 0.
  EXPECT_EQ(FacePhotoAt(1, 1), (PixelPoint{4, 0}));
  const CopyLayout l = CopyLayoutFor(204, 252);
  EXPECT_EQ(l.width, 666);
  EXPECT_EQ(l.height, 438);
  EXPECT_EQ(l.photo, (PixelPoint{423, 56}));
  EXPECT_EQ(l.IdCharX(17), 204 * (25 * 17 + 282) / 260);
}

}  // namespace
