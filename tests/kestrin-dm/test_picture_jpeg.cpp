// The desk's JPEG writing: a bitmap file turned into a baseline colour JPEG file, its quality,
// and the failures that write nothing.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "Picture.h"
#include "TestSupport.h"

extern "C" {
#include <jpeglib.h>
}

namespace {

using namespace qx::test;
using qx::kestrin::PictureError;

// ---- BmpFileToJpegFile -------------------------------------------------------------------------

// A 24-bit bottom-up BMP whose quadrants are red (top left), green (top right), blue (bottom
// left) and white, so a swapped channel or a flipped row order shows.
std::vector<uint8_t> QuadrantBmp(int w, int h) {
  const int stride = (w * 3 + 3) & ~3;
  std::vector<uint8_t> f(54 + stride * h, 0);
  auto put16 = [&](size_t at, uint32_t v) { f[at] = v & 0xFF; f[at + 1] = (v >> 8) & 0xFF; };
  auto put32 = [&](size_t at, uint32_t v) { put16(at, v); put16(at + 2, v >> 16); };
  f[0] = 'B';
  f[1] = 'M';
  put32(2, static_cast<uint32_t>(f.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, w);
  put32(22, h);
  put16(26, 1);
  put16(28, 24);
  for (int y = 0; y < h; ++y) {
    const int top = h - 1 - y;  // file rows run bottom-up
    for (int x = 0; x < w; ++x) {
      uint8_t r = 255, g = 255, b = 255;
      const bool upper = top < h / 2, left = x < w / 2;
      if (upper && left) g = b = 0;
      if (upper && !left) r = b = 0;
      if (!upper && left) r = g = 0;
      uint8_t* p = &f[54 + y * stride + x * 3];
      p[0] = b;
      p[1] = g;
      p[2] = r;
    }
  }
  return f;
}

struct JpegInfo {
  int sofMarker = 0, precision = 0, width = 0, height = 0, components = 0;
  int firstLumaQuant = -1;
};

JpegInfo ScanMarkers(const std::vector<uint8_t>& j) {
  JpegInfo info;
  if (j.size() < 4 || j[0] != 0xFF || j[1] != 0xD8) return info;
  size_t at = 2;
  while (at + 4 <= j.size() && j[at] == 0xFF) {
    const int marker = j[at + 1];
    const size_t len = (j[at + 2] << 8) | j[at + 3];
    if (marker == 0xDB && info.firstLumaQuant < 0 && at + 5 < j.size()) info.firstLumaQuant = j[at + 5];
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC &&
        at + 9 < j.size()) {
      info.sofMarker = marker;
      info.precision = j[at + 4];
      info.height = (j[at + 5] << 8) | j[at + 6];
      info.width = (j[at + 7] << 8) | j[at + 8];
      info.components = j[at + 9];
    }
    if (marker == 0xDA) break;
    at += 2 + len;
  }
  return info;
}

// RGB pixels of a JPEG, top row first.
std::vector<uint8_t> DecodeJpeg(const std::vector<uint8_t>& j, int& w, int& h) {
  jpeg_decompress_struct d;
  jpeg_error_mgr err;
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, j.data(), static_cast<unsigned long>(j.size()));
  jpeg_read_header(&d, TRUE);
  d.out_color_space = JCS_RGB;
  jpeg_start_decompress(&d);
  w = static_cast<int>(d.output_width);
  h = static_cast<int>(d.output_height);
  std::vector<uint8_t> px(static_cast<size_t>(w) * h * 3);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = px.data() + static_cast<size_t>(d.output_scanline) * w * 3;
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return px;
}

TEST(BmpFileToJpegFile, WritesABaselineColourJpegOfTheBitmapsSize) {
  TempDir dir(L"kjpeg");
  const int w = 64, h = 48;
  const auto bmp = QuadrantBmp(w, h);
  ASSERT_TRUE(WriteBytes(dir / L"card.bmp", bmp.data(), bmp.size()));
  ASSERT_TRUE(WriteText(dir / L"card.jpg", std::string(100000, 'x')));  // replaced in full
  qx::kestrin::BmpFileToJpegFile(dir / L"card.bmp", dir / L"card.jpg", 50);

  const auto jpg = ReadBytes(dir / L"card.jpg");
  ASSERT_TRUE(jpg);
  ASSERT_LT(jpg->size(), 100000u);
  const JpegInfo info = ScanMarkers(*jpg);
  EXPECT_EQ(info.sofMarker, 0xC0) << "baseline";
  EXPECT_EQ(info.precision, 8);
  EXPECT_EQ(info.width, w);
  EXPECT_EQ(info.height, h);
  EXPECT_EQ(info.components, 3);
  EXPECT_EQ(jpg->at(jpg->size() - 2), 0xFF);
  EXPECT_EQ(jpg->back(), 0xD9);

  int dw = 0, dh = 0;
  const auto px = DecodeJpeg(*jpg, dw, dh);
  ASSERT_EQ(dw, w);
  ASSERT_EQ(dh, h);
  struct Probe {
    int x, y, r, g, b;
  };
  const Probe probes[] = {{w / 4, h / 4, 255, 0, 0},
                          {3 * w / 4, h / 4, 0, 255, 0},
                          {w / 4, 3 * h / 4, 0, 0, 255},
                          {3 * w / 4, 3 * h / 4, 255, 255, 255}};
  for (const Probe& p : probes) {
    const uint8_t* c = &px[(static_cast<size_t>(p.y) * w + p.x) * 3];
    EXPECT_NEAR(c[0], p.r, 24) << p.x << "," << p.y;
    EXPECT_NEAR(c[1], p.g, 24) << p.x << "," << p.y;
    EXPECT_NEAR(c[2], p.b, 24) << p.x << "," << p.y;
  }
}

TEST(BmpFileToJpegFile, QualityScalesTheQuantisationTables) {
  TempDir dir(L"kjpeg");
  const auto bmp = QuadrantBmp(16, 16);
  ASSERT_TRUE(WriteBytes(dir / L"q.bmp", bmp.data(), bmp.size()));
  // The first entry of libjpeg's standard luminance table is 16, scaled by the quality.
  const std::pair<uint8_t, int> cases[] = {{50, 16}, {75, 8}, {10, 80}, {100, 1}, {1, 255}};
  for (const auto& [quality, first] : cases) {
    qx::kestrin::BmpFileToJpegFile(dir / L"q.bmp", dir / L"q.jpg", quality);
    const auto jpg = ReadBytes(dir / L"q.jpg");
    ASSERT_TRUE(jpg);
    EXPECT_EQ(ScanMarkers(*jpg).firstLumaQuant, first) << int(quality);
  }
}

TEST(BmpFileToJpegFile, FailuresRaiseAndWriteNothing) {
  TempDir dir(L"kjpeg");
  const auto bmp = QuadrantBmp(8, 8);
  ASSERT_TRUE(WriteBytes(dir / L"ok.bmp", bmp.data(), bmp.size()));
  ASSERT_TRUE(WriteText(dir / L"junk.bmp", "not a bitmap at all"));
  struct Case {
    std::wstring bmp, jpg;
    std::wstring text;  // the error names the file that failed, then Wine's reason
  };
  const Case cases[] = {
      {dir / L"missing.bmp", dir / L"a.jpg", L"无法读取位图 \"" + dir / L"missing.bmp" + L"\"。找不到文件。"},
      {dir / L"junk.bmp", dir / L"b.jpg", L"文件 \"" + dir / L"junk.bmp" + L"\" 不是有效的位图"},
      {dir / L"ok.bmp", dir / L"no-such-folder\\c.jpg",
       L"无法写入文件 \"" + dir / L"no-such-folder\\c.jpg" + L"\"。找不到路径。"},
  };
  for (const Case& c : cases) {
    // An error code left by an earlier call is never the reason named.
    ::SetLastError(ERROR_ACCESS_DENIED);
    try {
      qx::kestrin::BmpFileToJpegFile(c.bmp, c.jpg, 50);
      ADD_FAILURE() << Utf8(c.bmp);
    } catch (const PictureError& e) {
      EXPECT_EQ(e.text(), c.text) << Utf8(e.text());
    }
    EXPECT_FALSE(FileExists(c.jpg)) << Utf8(c.jpg);
  }
}

}  // namespace
