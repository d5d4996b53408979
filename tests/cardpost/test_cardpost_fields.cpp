// The card fields one poll takes from a card text block, natively: cutting, trimming, the sex
// and nation rules and the record they fill. GBK comes from the C library's converter here.
#include <gtest/gtest.h>
#include <iconv.h>

#include <array>
#include <cstring>
#include <string>

#include "CardFields.h"
#include "PacketViews.h"
#include "SampleCard.h"
#include "card/CardTextBlock.h"
#include "card/Packets.h"

namespace {

using qx::card::CardInfoRecord;

std::string Convert(const char* to, const char* from, const void* data, size_t size) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return "<no converter>";
  std::string out(size * 2 + 8, '\0');
  char* in = const_cast<char*>(static_cast<const char*>(data));
  char* put = out.data();
  size_t inLeft = size, outLeft = out.size();
  iconv(cd, &in, &inLeft, &put, &outLeft);
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

// Up to the first U+0000, as a zero-terminated conversion does.
std::string ToGbk(std::u16string_view field) {
  const size_t n = std::min(field.find(u'\0'), field.size());
  return Convert("GBK", "UTF-16LE", field.data(), n * 2);
}

std::string Gbk(const std::string& utf8) { return Convert("GBK", "UTF-8", utf8.data(), utf8.size()); }

cardpost::CardReadFields Cut(const qx::card::CardTextInput& card) {
  const std::vector<uint8_t> block = qx::card::BuildCardTextBytes(card);
  return cardpost::CutCardFields(block.data(), block.size(), ToGbk, ToGbk);
}

// The product's narrow literals are made GBK by the compiler; this file's are UTF-8.
TEST(CardpostFields, RecordTextsAreGbk) {
  const struct {
    const char* text;
    const char* utf8;
  } cases[] = {{cardpost::kReadSuffix, "(读)"}, {cardpost::kFemale, "女"}, {cardpost::kMale, "男"},
               {cardpost::kChina, "中国"}};
  for (const auto& c : cases) EXPECT_EQ(c.text, Gbk(c.utf8)) << c.utf8;
}

TEST(CardpostFields, SampleCardIsTrimmedAndNamed) {
  const cardpost::CardReadFields f = Cut(qx::test::SampleCardInput());
  EXPECT_EQ(f.name, Gbk("张三(读)"));
  EXPECT_EQ(f.sex, Gbk("男"));
  EXPECT_EQ(f.birth, "19800101");
  EXPECT_EQ(f.address, Gbk("北京市东城区景山前街4号"));
  EXPECT_EQ(f.id, "110101198001010011");
  EXPECT_EQ(f.authority, Gbk("北京市公安局东城分局"));
  EXPECT_EQ(f.nationCode, "01");
  EXPECT_EQ(f.nation, Gbk("汉"));
}

TEST(CardpostFields, SexAndNationCodes) {
  struct Case {
    const char16_t* sex;
    const char16_t* nation;
    const char* wantSex;
    const char* wantNation;
  } cases[] = {
      {u"2", u"56", "女", "基诺"}, {u"1", u"36", "男", "毛南"}, {u"0", u"00", "男", ""},
      {u"9", u"57", "男", ""},     {u" ", u"  ", "男", ""},     {u"X", u"3 ", "男", "回"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wantSex + std::string(" ") + c.wantNation);
    qx::card::CardTextInput card = qx::test::SampleCardInput();
    card.sex = c.sex;
    card.nation = c.nation;
    const cardpost::CardReadFields f = Cut(card);
    EXPECT_EQ(f.sex, Gbk(c.wantSex));
    EXPECT_EQ(f.nation, Gbk(c.wantNation));
  }
}

// A block that ends early gives empty fields past its end, never a read beyond it.
TEST(CardpostFields, ShortBlock) {
  std::vector<uint8_t> block = qx::card::BuildCardTextBytes(qx::test::SampleCardInput());
  block.resize(2 * 20 + 1);  // name, sex, nation, two digits of the birth date and a stray byte
  const cardpost::CardReadFields f = cardpost::CutCardFields(block.data(), block.size(), ToGbk, ToGbk);
  EXPECT_EQ(f.name, Gbk("张三(读)"));
  EXPECT_EQ(f.birth, "19");
  EXPECT_EQ(f.address, "");
  EXPECT_EQ(f.id, "");
  EXPECT_EQ(f.authority, "");
}

TEST(CardpostFields, RecordTakesTheFieldsAndLeavesTheRestZero) {
  qx::card::CardTextInput card = qx::test::SampleCardInput();
  card.name = u"欧阳娜娜娜娜娜娜娜娜娜娜娜娜娜";  // 15 characters: 34 bytes with the suffix
  card.nation = u"99";
  std::array<uint8_t, CardInfoRecord::kSize> record{};
  cardpost::FillCardRecord(record.data(), Cut(card));
  const uint8_t* name = record.data() + CardInfoRecord::Name.offset;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(name), 34), Gbk("欧阳娜娜娜娜娜娜娜娜娜娜娜娜娜(读)"));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(name) + 34, 6), std::string(6, '\0'));
  EXPECT_EQ(qx::card::GetField(record.data(), CardInfoRecord::CardNo), "110101198001010011");
  EXPECT_EQ(qx::card::GetField(record.data(), CardInfoRecord::CertID), "110101198001010011");
  EXPECT_EQ(qx::card::GetField(record.data(), CardInfoRecord::Country), Gbk("中国"));
  EXPECT_EQ(qx::card::GetField(record.data(), CardInfoRecord::Nation), "");
  EXPECT_EQ(qx::card::GetField(record.data(), CardInfoRecord::SignDepart), "");
  EXPECT_EQ(qx::card::GetField(record.data(), CardInfoRecord::DeviceType), "");
  EXPECT_EQ(qx::card::FirstStrayCardInfo(record.data()), qx::card::kStrayNone);
}

}  // namespace
