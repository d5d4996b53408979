// Where the desk's prints put things: the scale from a window's pixels to a printer's, the
// rectangles of the card and record prints, the document page's rectangle and the positions
// of its texts. No windows.h.
#pragma once
#include <cstddef>
#include <string_view>
#include <vector>

#include "CardFields.h"

namespace qx::kestrin {

// Device pixels; right and bottom are the far corner, as a stretch rectangle has them.
struct PrintRect {
  int left;
  int top;
  int right;
  int bottom;
  bool operator==(const PrintRect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};

// Printer pixels per inch x 10 / the window's pixels per inch, in whole tenths: 600 over 96
// gives 62, not 62.5. Zero when the window reports no resolution.
int PrintScale(int printerPpi, int windowPpi);

// Sizes of the front and back copy pictures, in their own pixels.
struct CopyPictureSizes {
  int frontWidth;
  int frontHeight;
  int backWidth;
  int backHeight;
};

struct CopyRects {
  PrintRect front;
  PrintRect back;
};

// Card print: the back below the front, each stretched by 5 screen pixels, 40 in.
CopyRects CardPrintRects(int kx, int ky, const CopyPictureSizes& s);
// Record print: one copy's front and back side by side from screen row `top`.
CopyRects RecordCopyRects(int kx, int ky, int top, const CopyPictureSizes& s);
// The screen rows of copies 1..count: 60, then each Hf + 120 below the one before.
std::vector<int> RecordCopyTops(int count, int frontHeight);

// Document print: half an inch in, 6.8 by 10 inches, whatever the page's own proportions.
PrintRect DocumentPageRect(int ppiX, int ppiY);

// The document page in its own pixels: the photo's corner and the texts' top-left corners.
inline constexpr PixelPoint kDocPhotoAt{442, 130};
inline constexpr int kDocTextX = 180;
inline constexpr int kDocNameY = 105;
inline constexpr int kDocSexY = 130;
inline constexpr int kDocNationX = 380;
inline constexpr int kDocBirthY = 155;
inline constexpr int kDocAddressY = 180;
inline constexpr int kDocAddressStep = 25;
inline constexpr int kDocIdY = 267;
inline constexpr int kDocWholeAddressY = 292;
inline constexpr int kDocAuthorityY = 342;
inline constexpr int kDocValidityY = 367;
inline constexpr int kDocTimeY = 442;
// "MS Sans Serif", 11 points at 96 pixels per inch: 15 pixels.
inline constexpr int kDocFontPoints = 11;

// One text of the document page, UCS-2, at its corner.
struct DocText {
  PixelPoint at;
  std::u16string text;
};
// The texts of the page in drawing order. Fields are code page 936 text; toWide turns them
// into UCS-2 (the platform edge supplies it). The address runs over as many rows of 11
// characters as it needs from y 180; the rows below stay where they are.
using WideConverter = std::u16string (*)(std::string_view ansi);
std::vector<DocText> DocumentTexts(const CardFields& fields, std::string_view printTime, WideConverter toWide);

}  // namespace qx::kestrin
