// The print layout arithmetic: scale in whole tenths, the card and record print rectangles,
// the document page's rectangle and the rows of its texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PrintLayout.h"

using namespace qx::kestrin;

namespace {

// ASCII test texts pass as they are; each byte is one character.
std::u16string Widen(std::string_view s) { return std::u16string(s.begin(), s.end()); }

struct ScaleCase {
  int printer;
  int window;
  int k;
};

TEST(PrintLayout, ScaleDropsTheRemainderOfTheTenths) {
  for (const ScaleCase& c : {ScaleCase{600, 96, 62}, ScaleCase{300, 96, 31}, ScaleCase{96, 96, 10},
                             ScaleCase{300, 120, 25}, ScaleCase{72, 96, 7}, ScaleCase{300, 0, 0}})
    EXPECT_EQ(PrintScale(c.printer, c.window), c.k) << c.printer << "/" << c.window;
}

TEST(PrintLayout, CardPrintPutsTheBackBelowTheFront) {
  // 600 over 96: a 333-pixel-wide front runs from 248 to 2343.
  const CopyRects at600 = CardPrintRects(62, 62, {333, 219, 333, 219});
  EXPECT_EQ(at600.front, (PrintRect{248, 248, 2343, 1636}));
  EXPECT_EQ(at600.back, (PrintRect{248, 1667, 2343, 3056}));
  // At the window's own resolution: (40, 40) to (W + 45, H + 45), a gap of 5, then the back.
  const CopyRects at96 = CardPrintRects(10, 10, {333, 219, 300, 200});
  EXPECT_EQ(at96.front, (PrintRect{40, 40, 378, 264}));
  EXPECT_EQ(at96.back, (PrintRect{40, 269, 345, 474}));
}

TEST(PrintLayout, RecordCopiesStandSideBySideAndHf120Apart) {
  EXPECT_EQ(RecordCopyTops(3, 219), (std::vector<int>{60, 399, 738}));
  EXPECT_EQ(RecordCopyTops(1, 219), (std::vector<int>{60}));
  EXPECT_TRUE(RecordCopyTops(0, 219).empty());
  const CopyRects c = RecordCopyRects(10, 10, 399, {333, 219, 333, 219});
  EXPECT_EQ(c.front, (PrintRect{30, 399, 368, 623}));
  EXPECT_EQ(c.back, (PrintRect{368, 399, 706, 623}));
  const CopyRects at300 = RecordCopyRects(31, 31, 60, {333, 219, 333, 219});
  EXPECT_EQ(at300.front, (PrintRect{93, 186, 1140, 880}));
  EXPECT_EQ(at300.back, (PrintRect{1140, 186, 2188, 880}));
}

TEST(PrintLayout, DocumentPageIsSixPointEightByTenInchesHalfAnInchIn) {
  EXPECT_EQ(DocumentPageRect(300, 300), (PrintRect{150, 150, 2190, 3150}));
  EXPECT_EQ(DocumentPageRect(600, 300), (PrintRect{300, 150, 4380, 3150}));
  EXPECT_EQ(DocumentPageRect(101, 101), (PrintRect{50, 50, 736, 1060}));
}

CardFields Fields(const std::string& address) {
  CardFields f;
  f.edtName = " NAME ";
  f.edtSex = " M";
  f.edtNation = "HAN ";
  f.edtBirh = "1980-01-02";
  f.edtAddr = address;
  f.edtId = "110101198001010011 ";
  f.edtSendDep = " DEP";
  f.edtExpire = "2006.01.01-2026.01.01";
  return f;
}

struct AddressCase {
  const char* name;
  std::string address;
  std::vector<std::string> lines;
};

class DocumentRows : public ::testing::TestWithParam<AddressCase> {};

TEST_P(DocumentRows, AddressRunsOverRowsOfElevenAndTheRowsBelowStay) {
  const AddressCase& c = GetParam();
  const std::vector<DocText> texts = DocumentTexts(Fields(c.address), "2026-12-10 09:08:07", &Widen);
  std::vector<DocText> expected = {
      {{180, 105}, u"NAME"}, {{180, 130}, u" M"}, {{380, 130}, u"HAN "}, {{180, 155}, u"1980-01-02"}};
  for (size_t r = 0; r < c.lines.size(); ++r)
    expected.push_back({{180, 180 + 25 * static_cast<int>(r)}, Widen(c.lines[r])});
  std::string trimmed = c.address;
  trimmed.erase(0, trimmed.find_first_not_of(' '));
  trimmed.erase(trimmed.find_last_not_of(' ') + 1);
  expected.push_back({{180, 267}, u"110101198001010011"});
  expected.push_back({{180, 292}, Widen(trimmed)});
  expected.push_back({{180, 342}, u"DEP"});
  expected.push_back({{180, 367}, u"2006.01.01-2026.01.01"});
  expected.push_back({{180, 442}, u"2026-12-10 09:08:07"});
  ASSERT_EQ(texts.size(), expected.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(texts[i].at, expected[i].at) << i;
    EXPECT_EQ(texts[i].text, expected[i].text) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DocumentRows,
    ::testing::Values(
        AddressCase{"ThirtyFive", "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345678",
                    {"ABCDEFGHIJK", "LMNOPQRSTUV", "WXYZ0123456", "78"}},
        AddressCase{"TwentyTwo", "ABCDEFGHIJKLMNOPQRSTUV", {"ABCDEFGHIJK", "LMNOPQRSTUV"}},
        AddressCase{"Eleven", "ABCDEFGHIJK", {"ABCDEFGHIJK"}},
        AddressCase{"TrimmedFirst", "  ABCDEFGHIJKL ", {"ABCDEFGHIJK", "L"}},
        AddressCase{"Empty", "", {}}),
    [](const ::testing::TestParamInfo<AddressCase>& i) { return std::string(i.param.name); });

}  // namespace
