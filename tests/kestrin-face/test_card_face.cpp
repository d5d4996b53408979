// The card face: the template's pixels, the photo with its background left out, each label's
// text inside its own box, wrapping, bold, the font's pixel height, and the empty face.
#include <gtest/gtest.h>

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

constexpr int kTemplateWidth = 658;  // the size of the form's design copy of "show.bmp"
constexpr int kTemplateHeight = 438;
constexpr COLORREF kPlain = RGB(210, 230, 250);

COLORREF Pattern(int x, int y) { return RGB(100 + x % 100, 100 + y % 100, 150); }

CardFields SampleFields(std::u16string address = u"广东省深圳市南山区科技园南区高新南一道飞亚达科技大厦十五楼") {
  auto card = qx::test::SampleCardInput();
  card.address = std::move(address);
  CardFields f;
  ReadCardText(qx::card::BuildCardText(card), f, CardAnsi);
  return f;
}

class CardFace : public ::testing::Test {
 protected:
  void SetUp() override {
    facetest::WriteBmp24(patterned_, kTemplateWidth, kTemplateHeight, Pattern);
    facetest::WriteBmp24(plain_, kTemplateWidth, kTemplateHeight, [](int, int) { return kPlain; });
  }
  // Only the given labels drawn over the plain template.
  Image Draw(const CardFaceLabels& labels) {
    const Picture face = ComposeFacePicture(plain_, Picture());
    Picture out = Picture::Create(kCardFaceWidth, kCardFaceHeight);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, out.Handle());
    DrawCardFace(dc, face, labels);
    SelectObject(dc, old);
    DeleteDC(dc);
    return facetest::Snapshot(out);
  }
  const CardFaceLabelBox& BoxOf(const char* name) {
    for (const auto& b : CardFaceLabelBoxes())
      if (std::string(b.name) == name) return b;
    throw std::runtime_error("no such label");
  }

  qx::test::TempDir dir_{L"kface"};
  std::wstring patterned_ = dir_ / L"show.bmp";
  std::wstring plain_ = dir_ / L"plain.bmp";
};

TEST_F(CardFace, PhotoBackgroundLetsTheTemplateShowThrough) {
  const Image img = facetest::Snapshot(ComposeFacePicture(patterned_, facetest::SamplePhoto()));
  ASSERT_EQ(img.width, kTemplateWidth);
  ASSERT_EQ(img.height, kTemplateHeight);
  const int px = 470, py = 93;  // a 102 x 126 photo's place
  int wrong = 0, photoPixels = 0;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      COLORREF want = Pattern(x, y);
      if (x >= px && x < px + facetest::kPhotoWidth && y >= py && y < py + facetest::kPhotoHeight) {
        const COLORREF p = facetest::SamplePhotoColour(x - px, y - py);
        if (p != facetest::kPhotoBack) want = p, ++photoPixels;
      }
      if (img.at(x, y) != want) ++wrong;
    }
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(photoPixels, 4000);
  EXPECT_EQ(img.at(px + 50, py + 5), facetest::kPhotoDot);
  EXPECT_EQ(img.at(px + 45, py + 55), Pattern(px + 45, py + 55));  // the hole
}

TEST_F(CardFace, EachLabelDrawsInsideItsOwnBoxOnly) {
  // Panel2's labels: left, top, width, height.
  const struct { const char* name; std::wstring CardFaceLabels::*text; RECT rect; } expected[] = {
      {"labSN", &CardFaceLabels::labSN, Rect(124, 91, 229, 30)},  {"labSs", &CardFaceLabels::labSs, Rect(125, 124, 32, 16)},
      {"labSm", &CardFaceLabels::labSm, Rect(238, 124, 32, 16)},  {"labSb", &CardFaceLabels::labSb, Rect(122, 158, 223, 16)},
      {"labSa1", &CardFaceLabels::labSa1, Rect(122, 190, 183, 27)}, {"labSa2", &CardFaceLabels::labSa2, Rect(121, 219, 183, 39)},
      {"labSi", &CardFaceLabels::labSi, Rect(217, 262, 239, 16)}, {"labSd", &CardFaceLabels::labSd, Rect(161, 336, 239, 16)},
      {"labSv", &CardFaceLabels::labSv, Rect(160, 362, 239, 16)},
  };
  ASSERT_EQ(CardFaceLabelBoxes().size(), std::size(expected));
  for (const auto& box : expected) {
    CardFaceLabels labels;
    labels.*box.text = L"国徽测试ABC 123 签发机关有效期限住址";
    const Image img = Draw(labels);
    const int inside = InkIn(img, box.rect, kPlain);
    const int all = InkIn(img, Rect(0, 0, kCardFaceWidth, kCardFaceHeight), kPlain);
    EXPECT_GT(inside, 30) << box.name;
    EXPECT_EQ(all, inside) << box.name << ": text outside its box";
    // The text starts at the box's top-left corner.
    const RECT ink = InkBounds(img, box.rect, kPlain);
    EXPECT_LE(ink.left, box.rect.left + 2) << box.name;
    EXPECT_LE(ink.top, box.rect.top + 4) << box.name;
  }
}

TEST_F(CardFace, SampleCardFillsTheNineBoxesAndDrawsThePhoto) {
  const Image img = facetest::Snapshot(RenderCardFace(patterned_, facetest::SamplePhoto(), SampleFields()));
  ASSERT_EQ(img.width, kCardFaceWidth);
  ASSERT_EQ(img.height, kCardFaceHeight);
  // The template is stretched to the panel: compare against its own pattern, scaled.
  auto templateAt = [](int x, int y) { return Pattern(x * kTemplateWidth / kCardFaceWidth, y * kTemplateHeight / kCardFaceHeight); };
  auto inLabel = [](int x, int y) {
    for (const auto& b : CardFaceLabelBoxes())
      if (x >= b.rect.left && x < b.rect.right && y >= b.rect.top && y < b.rect.bottom) return true;
    return false;
  };
  // The photo's place on the panel, with a pixel of slack for the stretch.
  const RECT photo{470 * kCardFaceWidth / kTemplateWidth - 1, 93 * kCardFaceHeight / kTemplateHeight - 1,
                   572 * kCardFaceWidth / kTemplateWidth + 2, 219 * kCardFaceHeight / kTemplateHeight + 2};
  int stray = 0, photoPixels = 0;
  std::vector<int> inkPerBox(CardFaceLabelBoxes().size());
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const COLORREF c = img.at(x, y);
      if (x >= photo.left && x < photo.right && y >= photo.top && y < photo.bottom) {
        if (c == facetest::kPhotoBody) ++photoPixels;
        continue;
      }
      // Stretching may pick a neighbouring template pixel.
      bool templ = false;
      for (int dy = -1; dy <= 1 && !templ; ++dy)
        for (int dx = -1; dx <= 1 && !templ; ++dx) templ = c == templateAt(std::max(0, x + dx), std::max(0, y + dy));
      if (templ) continue;
      if (!inLabel(x, y)) ++stray;
    }
  EXPECT_EQ(stray, 0);
  EXPECT_GT(photoPixels, 4000);
  const auto& boxes = CardFaceLabelBoxes();
  for (const auto& b : boxes) {
    int ink = 0;
    for (int y = b.rect.top; y < b.rect.bottom; ++y)
      for (int x = b.rect.left; x < b.rect.right; ++x)
        if (img.at(x, y) == RGB(0, 0, 0)) ++ink;  // black text; the pattern has no black
    EXPECT_GT(ink, 5) << b.name;
  }
}

TEST_F(CardFace, WrappingLabelsBreakLongTextNonWrappingOnesDoNot) {
  const std::wstring longText = L"一二三四五六七八九十一二三四五六七八九十一二三四";  // 24 characters
  struct Case {
    const char* label;
    bool wraps;
  };
  for (const Case c : {Case{"labSa1", false}, Case{"labSa2", true}, Case{"labSN", true}, Case{"labSb", false}}) {
    const CardFaceLabelBox& box = BoxOf(c.label);
    CardFaceLabels labels;
    labels.*box.text = longText;
    const RECT ink = InkBounds(Draw(labels), box.rect, kPlain);
    const bool secondLine = ink.bottom - box.rect.top > kCardFaceFontPixels + 3;
    EXPECT_EQ(secondLine, c.wraps) << c.label;
    EXPECT_GT(ink.right, box.rect.right - 20) << c.label << ": the first line is full";
  }
  // A text that fits stays on one line in a wrapping label.
  CardFaceLabels shortText;
  shortText.labSa2 = L"十五楼";
  const RECT ink = InkBounds(Draw(shortText), BoxOf("labSa2").rect, kPlain);
  EXPECT_LE(ink.bottom - BoxOf("labSa2").rect.top, kCardFaceFontPixels + 3);
}

TEST_F(CardFace, IdentityNumberIsBold) {
  CardFaceLabels bold, plain;
  bold.labSi = L"110101198001010011";
  plain.labSd = L"110101198001010011";  // same width, not bold
  const int boldInk = InkIn(Draw(bold), BoxOf("labSi").rect, kPlain);
  const int plainInk = InkIn(Draw(plain), BoxOf("labSd").rect, kPlain);
  EXPECT_GT(boldInk * 10, plainInk * 12) << boldInk << " vs " << plainInk;
}

TEST_F(CardFace, TextIsThirteenPixelsHigh) {
  // A full-height ideograph fills the character height, not more.
  CardFaceLabels labels;
  labels.labSb = L"国国国";
  const RECT ink = InkBounds(Draw(labels), BoxOf("labSb").rect, kPlain);
  EXPECT_GE(ink.bottom - ink.top, kCardFaceFontPixels - 3);
  EXPECT_LE(ink.bottom - ink.top, kCardFaceFontPixels);
}

TEST_F(CardFace, LabelsComeFromTheFields) {
  CardFields f = SampleFields(u"一二三四五六七八九十甲乙");  // 12 characters
  f.edtName = "  " + f.edtName + " ";
  f.edtBirh = " 1980-01-01";
  CardFaceLabels l = CardFaceLabelsFrom(f);
  EXPECT_EQ(l.labSN, L"张三");
  EXPECT_EQ(l.labSs, L"男");
  EXPECT_EQ(l.labSm, L"汉");
  EXPECT_EQ(l.labSb, L" 1980-01-01");  // untrimmed
  EXPECT_EQ(l.labSa1, L"一二三四五六七八九十甲");
  EXPECT_EQ(l.labSa2, L"乙");
  EXPECT_EQ(l.labSi, L"110101198001010011");
  EXPECT_EQ(l.labSd, L"北京市公安局东城分局");
  EXPECT_EQ(l.labSv, L"2006.01.01-2026.01.01");

  l = CardFaceLabelsFrom(SampleFields(u"一二三四五六七八九十甲"));
  EXPECT_EQ(l.labSa1, L"一二三四五六七八九十甲");
  EXPECT_EQ(l.labSa2, L"");

  auto card = qx::test::SampleCardInput();
  card.validEnd = u"长期";
  CardFields longTerm;
  ReadCardText(qx::card::BuildCardText(card), longTerm, CardAnsi);
  EXPECT_EQ(CardFaceLabelsFrom(longTerm).labSv, L"2006.01.01-长期..");
}

TEST_F(CardFace, EmptyFaceIsTheTemplateStretchedToThePanel) {
  const Image img = facetest::Snapshot(RenderEmptyCardFace(plain_));
  ASSERT_EQ(img.width, kCardFaceWidth);
  ASSERT_EQ(img.height, kCardFaceHeight);
  EXPECT_EQ(InkIn(img, Rect(0, 0, kCardFaceWidth, kCardFaceHeight), kPlain), 0);
  // A half-and-half template keeps its halves in proportion.
  const std::wstring halves = dir_ / L"halves.bmp";
  facetest::WriteBmp24(halves, kTemplateWidth, kTemplateHeight,
                       [](int x, int) { return x < kTemplateWidth / 2 ? RGB(255, 0, 0) : RGB(0, 0, 255); });
  const Image h = facetest::Snapshot(RenderEmptyCardFace(halves));
  EXPECT_EQ(h.at(kCardFaceWidth / 2 - 3, 200), RGB(255, 0, 0));
  EXPECT_EQ(h.at(kCardFaceWidth / 2 + 3, 200), RGB(0, 0, 255));
  EXPECT_EQ(h.at(kCardFaceWidth - 1, kCardFaceHeight - 1), RGB(0, 0, 255));
}

TEST_F(CardFace, MissingOrBrokenTemplateRaises) {
  const std::wstring broken = dir_ / L"broken.bmp";
  ASSERT_TRUE(qx::test::WriteText(broken, "not a bitmap"));
  for (const std::wstring& path : {dir_ / L"missing.bmp", broken}) {
    EXPECT_THROW(RenderCardFace(path, facetest::SamplePhoto(), SampleFields()), PictureError);
    EXPECT_THROW(RenderEmptyCardFace(path), PictureError);
  }
}

TEST_F(CardFace, TemplateOfAnyDepthComposesIn24Bits) {
  // An 8-bit template: the photo's colours must not be cut down to its palette.
  std::vector<unsigned char> b(54 + 1024 + 16 * 4, 0);
  auto put = [&](size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
  };
  b[0] = 'B', b[1] = 'M';
  put(2, static_cast<std::uint32_t>(b.size()));
  put(10, 54 + 1024);
  put(14, 40);
  put(18, 16);
  put(22, 4);
  b[26] = 1, b[28] = 8;
  put(46, 256);
  put(54, 0x00808080);  // colour 0: grey; every pixel is 0
  const std::wstring path = dir_ / L"grey8.bmp";
  ASSERT_TRUE(qx::test::WriteBytes(path, b.data(), b.size()));
  const Picture p = ComposeFacePicture(path, facetest::MakePicture(2, 2, [](int x, int) {
    return x == 0 ? RGB(1, 2, 3) : RGB(123, 45, 67);
  }));
  EXPECT_EQ(p.BitCount(), 24);
  // A 2 x 2 photo lands at (9, 1).
  EXPECT_EQ(p.Pixel(0, 0), RGB(128, 128, 128));
  EXPECT_EQ(p.Pixel(9, 1), RGB(128, 128, 128));  // key colour
  EXPECT_EQ(p.Pixel(10, 1), RGB(123, 45, 67));
}

}  // namespace
