// Card copies: sizes, the photo with its background left out, each text at its point on the
// front and back, the saved copy's layout and its JPEG file.
#include <gtest/gtest.h>

#include "CardCopy.h"
#include "CardFace.h"
#include "FaceTestUtil.h"
#include "SampleCard.h"
#include "TestSupport.h"
#include "card/CardTextBlock.h"

namespace {

using namespace qx::kestrin;
using facetest::Image;
using facetest::InkBounds;
using facetest::InkIn;
using facetest::Rect;

constexpr COLORREF kFront = RGB(230, 240, 200);
constexpr COLORREF kBack = RGB(200, 230, 240);
constexpr char kId[] = "11010119800305001X";

CardFields Fields(std::u16string address = std::u16string(35, u'地')) {
  auto card = qx::test::SampleCardInput();
  card.address = std::move(address);
  card.birth = u"19800305";
  card.id = u"11010119800305001X";
  CardFields f;
  ReadCardText(qx::card::BuildCardText(card), f, CardAnsi);
  return f;
}

class CardCopy : public ::testing::Test {
 protected:
  void SetUp() override {
    facetest::WriteBmp24(front_, 333, 219, [](int, int) { return kFront; });
    facetest::WriteBmp24(back_, 333, 219, [](int, int) { return kBack; });
  }
  CardCopyImages Compose(const CardFields& f) {
    auto images = ComposeCopyImages(front_, back_, facetest::SamplePhoto(), f);
    if (!images) throw std::runtime_error("nothing composed");
    return std::move(*images);
  }
  qx::test::TempDir dir_{L"kcopy"};
  std::wstring front_ = dir_ / L"bkF.bmp";
  std::wstring back_ = dir_ / L"bkB.bmp";
};

TEST_F(CardCopy, NoPhotoComposesNothing) {
  EXPECT_FALSE(ComposeCopyImages(front_, back_, Picture(), Fields()));
}

TEST_F(CardCopy, SizesFollowThePhotoTemplatesKeepTheirOwn) {
  const CardCopyImages c = Compose(Fields());
  EXPECT_EQ(c.width, 333);
  EXPECT_EQ(c.height, 219);
  EXPECT_EQ(c.front.Width(), 333);
  EXPECT_EQ(c.back.Height(), 219);
  EXPECT_EQ(ComposeCopyFile(c).Width(), 343);
  EXPECT_EQ(ComposeCopyFile(c).Height(), 448);

  facetest::WriteBmp24(front_, 300, 200, [](int, int) { return kFront; });
  const CardCopyImages small = Compose(Fields());
  EXPECT_EQ(small.front.Width(), 300);
  EXPECT_EQ(small.front.Height(), 200);
  EXPECT_EQ(small.width, 333);
  const Image file = facetest::Snapshot(ComposeCopyFile(small));
  EXPECT_EQ(file.width, 343);
  EXPECT_EQ(file.at(1, 205), kBack);  // the back follows the front's own height
  EXPECT_EQ(file.at(1, 203), RGB(255, 255, 255));
}

TEST_F(CardCopy, PhotoIsDrawnWithItsBackgroundLeftOut) {
  const Image img = facetest::Snapshot(Compose(Fields()).front);
  int wrong = 0;
  for (int y = 0; y < facetest::kPhotoHeight; ++y)
    for (int x = 0; x < facetest::kPhotoWidth; ++x) {
      const COLORREF p = facetest::SamplePhotoColour(x, y);
      if (p == facetest::kPhotoBack) continue;  // text may stand there
      if (img.at(211 + x, 28 + y) != p) ++wrong;
    }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(img.at(211 + 45, 28 + 55), kFront);  // the hole of the key colour
  EXPECT_EQ(img.at(211, 28), kFront);
  EXPECT_EQ(img.at(210, 28 + 40), kFront);  // left of the photo
}

TEST_F(CardCopy, EachTextStandsAtItsPoint) {
  const CardCopyImages c = Compose(Fields());
  const Image front = facetest::Snapshot(c.front);
  const Image back = facetest::Snapshot(c.back);
  struct Item {
    const char* what;
    RECT box;  // from the stated point: where the text's ink must lie
  };
  std::vector<Item> frontItems = {
      {"name", Rect(70, 27, 60, 18)},       {"sex", Rect(70, 57, 20, 13)},        {"nation", Rect(137, 57, 20, 13)},
      {"year", Rect(70, 85, 40, 13)},       {"month", Rect(121, 85, 12, 13)},     {"day", Rect(149, 85, 12, 13)},
      {"line 0", Rect(70, 113, 130, 13)},   {"line 1", Rect(70, 130, 130, 13)},   {"line 2", Rect(70, 146, 130, 13)},
      {"line 3", Rect(70, 162, 30, 13)},
  };
  const int idX[] = {110, 120, 130, 140, 149, 159, 169, 179, 189, 198, 208, 218, 228, 238, 247, 257, 267, 277, 287};
  for (int i = 0; i < 18; ++i) frontItems.push_back({"id character", Rect(idX[i], 179, idX[i + 1] - idX[i], 16)});
  auto inAny = [](const std::vector<Item>& items, int x, int y) {
    for (const Item& it : items)
      if (x >= it.box.left && x < it.box.right && y >= it.box.top && y < it.box.bottom) return true;
    return false;
  };

  for (const Item& it : frontItems) {
    EXPECT_GT(InkIn(front, it.box, kFront), 3) << it.what << " at " << it.box.left << "," << it.box.top;
    const RECT ink = InkBounds(front, it.box, kFront);
    EXPECT_LE(ink.left, it.box.left + 3) << it.what;
  }
  int stray = 0;
  for (int y = 0; y < front.height; ++y)
    for (int x = 0; x < front.width; ++x) {
      const bool photo = x >= 211 && x < 211 + 102 && y >= 28 && y < 28 + 126;
      if (!photo && front.at(x, y) != kFront && !inAny(frontItems, x, y)) ++stray;
    }
  EXPECT_EQ(stray, 0);

  const std::vector<Item> backItems = {{"authority", Rect(137, 154, 120, 13)}, {"validity", Rect(137, 182, 140, 13)}};
  for (const Item& it : backItems) EXPECT_GT(InkIn(back, it.box, kBack), 3) << it.what;
  int backStray = 0;
  for (int y = 0; y < back.height; ++y)
    for (int x = 0; x < back.width; ++x)
      if (back.at(x, y) != kBack && !inAny(backItems, x, y)) ++backStray;
  EXPECT_EQ(backStray, 0);
}

TEST_F(CardCopy, FontsHaveTheirPixelHeights) {
  // Name at 12 pt / 96 ppi (16 pixels), address at 8 pt / 96 (11), id at 10 pt / 100 (14).
  CardFields f = Fields(u"国国国");
  f.edtName = CardAnsi(u"国国");
  const Image front = facetest::Snapshot(Compose(f).front);
  const struct { const char* what; RECT box; int pixels; } cases[] = {
      {"name", Rect(70, 20, 60, 30), 16},
      {"address", Rect(70, 110, 60, 18), 11},
  };
  for (const auto& c : cases) {
    const RECT ink = InkBounds(front, c.box, kFront);
    EXPECT_GE(ink.bottom - ink.top, c.pixels - 3) << c.what;
    EXPECT_LE(ink.bottom - ink.top, c.pixels) << c.what;
  }
  const RECT id = InkBounds(front, Rect(100, 175, 200, 24), kFront);
  EXPECT_GE(id.bottom - id.top, 8);  // digits are shorter than the character height
  EXPECT_LE(id.bottom - id.top, 14);
}

TEST_F(CardCopy, MonthAndDayHaveNoLeadingZero) {
  auto width = [&](const char* birth, RECT box) {
    CardFields f = Fields();
    f.edtBirh = birth;
    const RECT ink = InkBounds(facetest::Snapshot(Compose(f).front), box, kFront);
    return ink.right - ink.left;
  };
  const RECT month = Rect(121, 85, 25, 13), day = Rect(149, 85, 25, 13);
  EXPECT_LT(width("1980-03-05", month) * 3, width("1980-12-25", month) * 2);
  EXPECT_LT(width("1980-03-05", day) * 3, width("1980-12-25", day) * 2);
  EXPECT_EQ(width("1980-3-5", month), width("1980-03-05", month));
}

TEST_F(CardCopy, UnreadableBirthDateOrTemplateRaises) {
  for (const char* birth : {"1980-13-01", "--", "19800101", ""}) {
    CardFields f = Fields();
    f.edtBirh = birth;
    EXPECT_THROW(Compose(f), CardCopyError) << birth;
  }
  EXPECT_THROW(ComposeCopyImages(dir_ / L"none.bmp", back_, facetest::SamplePhoto(), Fields()), PictureError);
  EXPECT_THROW(ComposeCopyImages(front_, dir_ / L"none.bmp", facetest::SamplePhoto(), Fields()), PictureError);
}

TEST_F(CardCopy, RecordPrintLayoutWithoutPhoto) {
  const CardCopyImages c = ComposeCopyImagesSized(front_, back_, 102, 126, Picture(), Fields());
  const Image front = facetest::Snapshot(c.front);
  EXPECT_EQ(c.width, 333);
  EXPECT_EQ(InkIn(front, Rect(211, 28, 102, 126), kFront), 0);
  EXPECT_GT(InkIn(front, Rect(70, 27, 60, 18), kFront), 3);
}

TEST_F(CardCopy, CopyFilePutsFrontAboveBack) {
  const Image img = facetest::Snapshot(ComposeCopyFile(Compose(Fields(u""))));
  ASSERT_EQ(img.width, 343);
  ASSERT_EQ(img.height, 448);
  const COLORREF white = RGB(255, 255, 255);
  const struct { int x, y; COLORREF c; } probes[] = {
      {0, 0, white},     {1, 1, kFront},  {333, 219, kFront}, {334, 100, white}, {1, 220, white},
      {1, 223, white},   {1, 224, kBack}, {333, 442, kBack},  {1, 443, white},   {342, 447, white},
  };
  for (const auto& p : probes) EXPECT_EQ(img.at(p.x, p.y), p.c) << p.x << "," << p.y;
}

struct JpegInfo {
  int width = 0, height = 0, firstLuma = -1;
  bool framed = false;
};

JpegInfo ParseJpeg(const std::vector<uint8_t>& b) {
  JpegInfo info;
  if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8 || b[b.size() - 2] != 0xFF || b[b.size() - 1] != 0xD9) return info;
  info.framed = true;
  for (size_t i = 2; i + 4 < b.size() && b[i] == 0xFF;) {
    const uint8_t marker = b[i + 1];
    const size_t len = static_cast<size_t>(b[i + 2]) << 8 | b[i + 3];
    if (marker == 0xDB && (b[i + 4] & 0x0F) == 0 && info.firstLuma < 0) info.firstLuma = b[i + 5];
    if (marker == 0xC0) {
      info.height = b[i + 5] << 8 | b[i + 6];
      info.width = b[i + 7] << 8 | b[i + 8];
    }
    if (marker == 0xDA) break;
    i += 2 + len;
  }
  return info;
}

TEST_F(CardCopy, SaveWritesOneJpegAtQualityFifty) {
  const CardCopyImages c = Compose(Fields());
  qx::test::TempDir out(L"kcopyout");
  for (const std::wstring& folder : {out.path(), out.path() + L"\\"}) {
    const std::wstring jpg = SaveCardCopy(c, folder, kId);
    EXPECT_EQ(jpg, out / L"P11010119800305001X.jpg");
    EXPECT_EQ(qx::test::ListFiles(out.path()), std::vector<std::wstring>{L"P11010119800305001X.jpg"});
    const auto bytes = qx::test::ReadBytes(jpg);
    ASSERT_TRUE(bytes);
    const JpegInfo info = ParseJpeg(*bytes);
    EXPECT_TRUE(info.framed);
    EXPECT_EQ(info.width, 343);
    EXPECT_EQ(info.height, 448);
    EXPECT_EQ(info.firstLuma, 16);  // the standard luminance table unscaled: quality 50
  }
  EXPECT_ANY_THROW(SaveCardCopy(c, out / L"no such folder", kId));
}

}  // namespace
