// Test pictures for the card face and copy tests: BMP files made from a colour function, and
// pixel snapshots of the composed pictures.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "Picture.h"

namespace facetest {

using ColourAt = std::function<COLORREF(int x, int y)>;

// A 24-bit bottom-up BMP file of w x h.
std::vector<unsigned char> Bmp24(int w, int h, const ColourAt& colour);
void WriteBmp24(const std::wstring& path, int w, int h, const ColourAt& colour);
qx::kestrin::Picture MakePicture(int w, int h, const ColourAt& colour);

// Every pixel of a 24-bit picture.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<COLORREF> px;
  COLORREF at(int x, int y) const { return px[static_cast<size_t>(y) * width + x]; }
};
Image Snapshot(const qx::kestrin::Picture& p);

// Pixels of the rectangle (clipped to the image) that differ from the background.
int InkIn(const Image& img, RECT r, COLORREF background);
// Smallest rectangle holding every such pixel of r; empty (all zero) when none.
RECT InkBounds(const Image& img, RECT r, COLORREF background);

// A 102 x 126 photo: background (its top-left colour) with a body, a hole of the background
// colour in the body and one dot.
constexpr int kPhotoWidth = 102;
constexpr int kPhotoHeight = 126;
constexpr COLORREF kPhotoBack = RGB(10, 200, 10);
constexpr COLORREF kPhotoBody = RGB(200, 0, 0);
constexpr COLORREF kPhotoDot = RGB(0, 0, 220);
COLORREF SamplePhotoColour(int x, int y);
qx::kestrin::Picture SamplePhoto();

inline RECT Rect(int left, int top, int width, int height) { return {left, top, left + width, top + height}; }

}  // namespace facetest
