// Unit tests of the simulated packed photo and of the BMP form of its picture.
#include "Bitmap.h"
#include "WltPhoto.h"

#include <gtest/gtest.h>

using namespace qx::readersim;

namespace {

struct Person {
  const char16_t* id;
  const char16_t* name;
};

const Person kPeople[] = {
    {u"110101198001010011", u"张三"},
    {u"110101198001010029", u"张三"},  // same name, another number
    {u"110101198001010011", u"李四"},  // same number, another name
    {u"440301199912319999", u"欧阳娜娜娜娜娜娜娜娜娜娜娜娜娜"},
    {u"", u""},
};

int CountDifferentPixels(const Image& a, const Image& b) {
  int n = 0;
  for (std::size_t i = 0; i < a.pixels.size(); ++i) n += a.pixels[i] != b.pixels[i];
  return n;
}

}  // namespace

TEST(WltPhoto, EncodesWithinTheBufferAndDecodesToTheHeadPicture) {
  for (const Person& p : kPeople) {
    SCOPED_TRACE(reinterpret_cast<const char*>(p.id));
    const std::vector<std::uint8_t> wlt = EncodeWltPhoto(p.id, p.name);
    EXPECT_LE(wlt.size(), kWltMaxBytes);
    EXPECT_GE(wlt.size(), 640u);
    EXPECT_EQ(wlt, EncodeWltPhoto(p.id, p.name));  // deterministic
    const std::optional<Image> img = DecodeWltPhoto(wlt.data(), wlt.size());
    ASSERT_TRUE(img.has_value());
    EXPECT_EQ(img->width, 102);
    EXPECT_EQ(img->height, 126);
    const Bgr background{wlt[kWltBackgroundOffset], wlt[kWltBackgroundOffset + 1],
                         wlt[kWltBackgroundOffset + 2]};
    EXPECT_EQ(img->At(0, 0), background);
    // The top rows are plain background; the figure fills a good part of the rest.
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 102; ++x) ASSERT_EQ(img->At(x, y), background) << x << "," << y;
    }
    int figure = 0;
    for (const Bgr& px : img->pixels) figure += px != background;
    EXPECT_GT(figure, 102 * 126 / 4);
  }
}

TEST(WltPhoto, DiffersPerCard) {
  for (std::size_t i = 0; i < std::size(kPeople); ++i) {
    for (std::size_t j = i + 1; j < std::size(kPeople); ++j) {
      const auto a = EncodeWltPhoto(kPeople[i].id, kPeople[i].name);
      const auto b = EncodeWltPhoto(kPeople[j].id, kPeople[j].name);
      EXPECT_NE(a, b);
      const Image ia = *DecodeWltPhoto(a.data(), a.size());
      const Image ib = *DecodeWltPhoto(b.data(), b.size());
      EXPECT_GT(CountDifferentPixels(ia, ib), 500) << i << " vs " << j;
    }
  }
}

TEST(WltPhoto, RejectsWhatIsNotAPackedPhoto) {
  const std::vector<std::uint8_t> good = EncodeWltPhoto(u"110101198001010011", u"张三");
  const std::vector<std::uint8_t> bad = EncodeBadWltPhoto(u"110101198001010011", u"张三");
  ASSERT_EQ(bad.size(), good.size());
  EXPECT_FALSE(DecodeWltPhoto(bad.data(), bad.size()));

  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
  };
  std::vector<Case> cases;
  cases.push_back({"empty", {}});
  cases.push_back({"cut short by one", {good.begin(), good.end() - 1}});
  cases.push_back({"header only", {good.begin(), good.begin() + 36}});
  std::vector<std::uint8_t> longer = good;
  longer.push_back(0);
  cases.push_back({"one byte more", longer});
  std::vector<std::uint8_t> magic = good;
  magic[3] = 'X';
  cases.push_back({"magic", magic});
  std::vector<std::uint8_t> version = good;
  version[4] = 2;
  cases.push_back({"version", version});
  std::vector<std::uint8_t> filler = good;
  filler[500] ^= 1;
  cases.push_back({"one bit of the body", filler});
  cases.push_back({"a bitmap", EncodeBmp24(Image(4, 4, Bgr{1, 2, 3}))});
  cases.push_back({"2 KB of zeros", std::vector<std::uint8_t>(2048, 0)});
  for (const Case& c : cases) {
    EXPECT_FALSE(DecodeWltPhoto(c.bytes.data(), c.bytes.size())) << c.what;
  }
  EXPECT_FALSE(DecodeWltPhoto(nullptr, 800));
}

TEST(WltPhoto, RejectsAFigureOutsideThePicture) {
  // A valid checksum over parameters that would draw past the edges.
  WltFigure f = FigureFor(u"1", u"x");
  std::vector<std::uint8_t> wlt = EncodeWltPhoto(u"1", u"x");
  wlt[22] = 60;  // head radius
  std::uint32_t h = 2166136261u;
  for (std::size_t i = 0; i + 4 < wlt.size(); ++i) {
    h ^= wlt[i];
    h *= 16777619u;
  }
  for (int k = 0; k < 4; ++k) wlt[wlt.size() - 4 + k] = static_cast<std::uint8_t>(h >> (8 * k));
  EXPECT_FALSE(DecodeWltPhoto(wlt.data(), wlt.size()));
  EXPECT_EQ(FigureFor(u"1", u"x").headRadius, f.headRadius);
}

TEST(Bitmap, WritesA24BitBottomUpFile) {
  Image img(102, 126, Bgr{10, 20, 30});
  img.At(0, 0) = Bgr{1, 2, 3};      // top-left
  img.At(101, 125) = Bgr{4, 5, 6};  // bottom-right
  const std::vector<std::uint8_t> bmp = EncodeBmp24(img);
  const std::size_t stride = 308;  // 306 bytes of pixels padded to four
  ASSERT_EQ(bmp.size(), 54 + stride * 126);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  EXPECT_EQ(bmp[2] | (bmp[3] << 8) | (bmp[4] << 16), static_cast<int>(bmp.size()));
  EXPECT_EQ(bmp[10], 54);
  EXPECT_EQ(bmp[18], 102);
  EXPECT_EQ(bmp[22], 126);  // positive height: bottom-up
  EXPECT_EQ(bmp[28], 24);
  // The first row in the file is the picture's bottom row.
  EXPECT_EQ(bmp[54 + 101 * 3], 4);
  EXPECT_EQ(bmp[54 + 101 * 3 + 2], 6);
  EXPECT_EQ(bmp[54 + stride * 125], 1);
  EXPECT_EQ(bmp[54 + stride * 125 + 2], 3);
  EXPECT_EQ(bmp[54 + 306], 0);  // padding
  const std::optional<Image> back = ParseBmp24(bmp.data(), bmp.size());
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->pixels, img.pixels);
  EXPECT_FALSE(ParseBmp24(bmp.data(), bmp.size() - 1));
  EXPECT_FALSE(ParseBmp24(bmp.data(), 20));
}
