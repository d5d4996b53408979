// The desk's picture: BMP bytes in and out, pixels, rejected files.
#include <gtest/gtest.h>

#include "Picture.h"

using qx::kestrin::Picture;
using qx::kestrin::PictureError;

namespace {

void Put(std::vector<std::uint8_t>& v, size_t at, std::uint32_t x, int n = 4) {
  for (int i = 0; i < n; ++i) v.at(at + i) = static_cast<std::uint8_t>(x >> (8 * i));
}

struct BmpSpec {
  int width = 3, height = 2, bpp = 24;
  std::uint32_t compression = BI_RGB;
  std::uint32_t headerSize = 40;
  int colours = -1;  // -1: all the bit depth has
};

// A BMP file in the canonical form that Picture writes; pixel bytes count up from 1.
std::vector<std::uint8_t> MakeBmp(const BmpSpec& s) {
  const size_t stride = (static_cast<size_t>(s.width) * s.bpp + 31) / 32 * 4;
  const size_t image = stride * static_cast<size_t>(std::abs(s.height));
  const size_t colours = s.colours >= 0 ? s.colours : s.bpp <= 8 ? (1u << s.bpp) : 0;
  const size_t masks = s.compression == BI_BITFIELDS && s.headerSize == 40 ? 12 : 0;
  const size_t off = 14 + s.headerSize + masks + colours * 4;
  std::vector<std::uint8_t> b(off + image, 0);
  b[0] = 'B', b[1] = 'M';
  Put(b, 2, static_cast<std::uint32_t>(b.size()));
  Put(b, 10, static_cast<std::uint32_t>(off));
  Put(b, 14, s.headerSize);
  Put(b, 18, static_cast<std::uint32_t>(s.width));
  Put(b, 22, static_cast<std::uint32_t>(s.height));
  Put(b, 26, 1, 2);
  Put(b, 28, static_cast<std::uint32_t>(s.bpp), 2);
  Put(b, 30, s.compression);
  Put(b, 34, static_cast<std::uint32_t>(image));
  Put(b, 46, static_cast<std::uint32_t>(colours));
  if (s.compression == BI_BITFIELDS) {
    bool five = s.bpp == 16;
    Put(b, 54, five ? 0x7C00 : 0xFF0000);
    Put(b, 58, five ? 0x03E0 : 0x00FF00);
    Put(b, 62, five ? 0x001F : 0x0000FF);
  }
  for (size_t i = 0; i < colours; ++i) Put(b, 14 + s.headerSize + masks + i * 4, 0x00010203u * static_cast<std::uint32_t>(i));
  for (size_t i = 0; i < image; ++i) b[off + i] = static_cast<std::uint8_t>(i + 1);
  return b;
}

}  // namespace

TEST(Picture, CanonicalFilesWriteBackByteForByte) {
  const BmpSpec specs[] = {
      {3, 2, 24}, {102, 126, 24}, {5, -4, 32}, {7, 3, 8}, {9, 2, 4}, {17, 2, 1},
      {4, 4, 8, BI_RGB, 40, 16}, {5, 3, 16}, {5, 3, 16, BI_BITFIELDS}, {2, 2, 32, BI_BITFIELDS},
  };
  for (const BmpSpec& s : specs) {
    auto bytes = MakeBmp(s);
    Picture p = Picture::FromBmp(bytes);
    EXPECT_EQ(p.Width(), s.width);
    EXPECT_EQ(p.Height(), std::abs(s.height));
    EXPECT_EQ(p.BitCount(), s.bpp);
    EXPECT_EQ(p.ToBmp(), bytes) << s.width << "x" << s.height << "x" << s.bpp;
    EXPECT_EQ(p.Clone().ToBmp(), bytes);
  }
}

TEST(Picture, LargerHeaderIsWrittenAsInfoHeader) {
  BmpSpec v4{4, 2, 32, BI_BITFIELDS, 108};
  Picture p = Picture::FromBmp(MakeBmp(v4));
  auto out = p.ToBmp();
  BmpSpec plain{4, 2, 32, BI_BITFIELDS, 40};
  EXPECT_EQ(out, MakeBmp(plain));
}

TEST(Picture, PixelsFollowRowOrder) {
  // 24-bit bottom-up: the first stored row is the bottom one.
  BmpSpec s{2, 2, 24};
  auto b = MakeBmp(s);
  const size_t off = b.size() - 16;
  b[off + 0] = 0x30, b[off + 1] = 0x20, b[off + 2] = 0x10;  // (0,1) as B,G,R
  b[off + 8] = 0x0C, b[off + 9] = 0x0B, b[off + 10] = 0x0A;  // (0,0)
  Picture p = Picture::FromBmp(b);
  EXPECT_EQ(p.Pixel(0, 1), RGB(0x10, 0x20, 0x30));
  EXPECT_EQ(p.Pixel(0, 0), RGB(0x0A, 0x0B, 0x0C));
  EXPECT_EQ(p.Pixel(2, 0), CLR_INVALID);
  // 8-bit: a pixel is its palette entry.
  Picture pal = Picture::FromBmp(MakeBmp({3, 1, 8}));
  EXPECT_EQ(pal.Pixel(0, 0), RGB(0x01, 0x02, 0x03));  // index 1: 03 02 01 as B,G,R
  EXPECT_EQ(Picture().Pixel(0, 0), CLR_INVALID);
}

TEST(Picture, EmptyAndCreated) {
  Picture e = Picture::FromBmp(nullptr, 0);
  EXPECT_TRUE(e.Empty());
  EXPECT_TRUE(e.ToBmp().empty());
  EXPECT_TRUE(e.Clone().Empty());
  Picture c = Picture::Create(102, 126);
  EXPECT_EQ(c.ToBmp().size(), 14u + 40 + 308 * 126);
  EXPECT_EQ(c.Pixel(101, 125), RGB(255, 255, 255));
  EXPECT_THROW(Picture::Create(0, 5), PictureError);
}

TEST(Picture, RejectedFiles) {
  auto good = MakeBmp({3, 2, 24});
  auto with = [&](size_t at, std::uint32_t v, int n) {
    auto b = good;
    Put(b, at, v, n);
    return b;
  };
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
  } cases[] = {
      {"not BM", with(0, 'X', 1)},
      {"short", std::vector<std::uint8_t>(good.begin(), good.begin() + 40)},
      {"pixels cut", std::vector<std::uint8_t>(good.begin(), good.end() - 1)},
      {"bits beyond file", with(10, 0xFFFF, 4)},
      {"bits inside header", with(10, 20, 4)},
      {"core header", with(14, 12, 4)},
      {"header beyond file", with(14, 4000, 4)},
      {"width 0", with(18, 0, 4)},
      {"negative width", with(18, 0xFFFFFFFF, 4)},
      {"height 0", with(22, 0, 4)},
      {"huge", with(18, 1000000, 4)},
      {"two planes", with(26, 2, 2)},
      {"7 bits", with(28, 7, 2)},
      {"RLE8", MakeBmp({3, 2, 8, BI_RLE8})},
      {"bit fields on 24 bits", with(30, BI_BITFIELDS, 4)},
      {"more colours than 8 bits hold", MakeBmp({3, 2, 8, BI_RGB, 40, 300})},
      {"text", {'h', 'e', 'l', 'l', 'o'}},
  };
  for (const Case& c : cases) EXPECT_THROW(Picture::FromBmp(c.bytes), PictureError) << c.what;
}

// With the process out of GDI handles the bitmap cannot be made; that failure sets no error
// code, so the message names no reason rather than one an earlier call left behind.
TEST(Picture, BitmapThatCannotBeMadeNamesNoStaleReason) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = bi.bmiHeader.biHeight = 1;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  std::vector<HBITMAP> held;
  for (void* bits; held.size() < 200000;) {
    HBITMAP b = ::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!b) break;
    held.push_back(b);
  }
  std::wstring text;
  ::SetLastError(ERROR_ACCESS_DENIED);
  try {
    Picture::FromBmp(MakeBmp({3, 2, 24}));
  } catch (const PictureError& e) {
    text = e.text();
  }
  for (HBITMAP b : held) ::DeleteObject(b);
  ASSERT_LT(held.size(), 200000u) << "the handles never ran out";
  EXPECT_EQ(text, L"无法创建位图（3 x 2）。");
  EXPECT_NO_THROW(Picture::FromBmp(MakeBmp({3, 2, 24})));
}
