// Test pictures for the card face and copy tests.
#include "FaceTestUtil.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <stdexcept>

#include "TestSupport.h"

namespace facetest {

namespace {
void Put32(std::vector<unsigned char>& b, size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}
}  // namespace

std::vector<unsigned char> Bmp24(int w, int h, const ColourAt& colour) {
  const size_t stride = (static_cast<size_t>(w) * 3 + 3) & ~size_t{3};
  std::vector<unsigned char> b(54 + stride * h, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, static_cast<std::uint32_t>(b.size()));
  Put32(b, 10, 54);
  Put32(b, 14, 40);
  Put32(b, 18, static_cast<std::uint32_t>(w));
  Put32(b, 22, static_cast<std::uint32_t>(h));
  b[26] = 1;
  b[28] = 24;
  Put32(b, 34, static_cast<std::uint32_t>(stride * h));
  for (int y = 0; y < h; ++y) {
    unsigned char* row = &b[54 + stride * (h - 1 - y)];
    for (int x = 0; x < w; ++x) {
      const COLORREF c = colour(x, y);
      row[x * 3] = GetBValue(c);
      row[x * 3 + 1] = GetGValue(c);
      row[x * 3 + 2] = GetRValue(c);
    }
  }
  return b;
}

void WriteBmp24(const std::wstring& path, int w, int h, const ColourAt& colour) {
  const auto b = Bmp24(w, h, colour);
  if (!qx::test::WriteBytes(path, b.data(), b.size())) throw std::runtime_error("cannot write test bitmap");
}

qx::kestrin::Picture MakePicture(int w, int h, const ColourAt& colour) {
  const auto b = Bmp24(w, h, colour);
  return qx::kestrin::Picture::FromBmp(b.data(), b.size());
}

Image Snapshot(const qx::kestrin::Picture& p) {
  Image img;
  img.width = p.Width();
  img.height = p.Height();
  img.px.resize(static_cast<size_t>(img.width) * img.height);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = img.width;
  bi.bmiHeader.biHeight = -img.height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  std::vector<std::uint32_t> bits(img.px.size());
  HDC dc = CreateCompatibleDC(nullptr);
  GdiFlush();
  GetDIBits(dc, p.Handle(), 0, static_cast<UINT>(img.height), bits.data(), &bi, DIB_RGB_COLORS);
  DeleteDC(dc);
  for (size_t i = 0; i < bits.size(); ++i) {
    const std::uint32_t v = bits[i];  // 0x00RRGGBB
    img.px[i] = RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  }
  return img;
}

int InkIn(const Image& img, RECT r, COLORREF background) {
  int n = 0;
  for (int y = std::max<LONG>(0, r.top); y < std::min<LONG>(img.height, r.bottom); ++y)
    for (int x = std::max<LONG>(0, r.left); x < std::min<LONG>(img.width, r.right); ++x)
      if (img.at(x, y) != background) ++n;
  return n;
}

RECT InkBounds(const Image& img, RECT r, COLORREF background) {
  RECT b{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
  bool any = false;
  for (int y = std::max<LONG>(0, r.top); y < std::min<LONG>(img.height, r.bottom); ++y)
    for (int x = std::max<LONG>(0, r.left); x < std::min<LONG>(img.width, r.right); ++x)
      if (img.at(x, y) != background) {
        any = true;
        b.left = std::min<LONG>(b.left, x);
        b.top = std::min<LONG>(b.top, y);
        b.right = std::max<LONG>(b.right, x + 1);
        b.bottom = std::max<LONG>(b.bottom, y + 1);
      }
  return any ? b : RECT{0, 0, 0, 0};
}

COLORREF SamplePhotoColour(int x, int y) {
  if (x >= 40 && x < 50 && y >= 50 && y < 60) return kPhotoBack;  // a hole of the key colour
  if (x >= 20 && x < 80 && y >= 30 && y < 100) return kPhotoBody;
  if (x == 50 && y == 5) return kPhotoDot;
  return kPhotoBack;
}

qx::kestrin::Picture SamplePhoto() { return MakePicture(kPhotoWidth, kPhotoHeight, SamplePhotoColour); }

}  // namespace facetest
