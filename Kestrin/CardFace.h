// The on-screen card face: the card-face picture with the photo drawn into it and the nine
// labels over it, rendered into a bitmap of Panel2's size that the main window blits as it is.
#pragma once
#include <windows.h>

#include <array>
#include <string>
#include <string_view>

#include "CardFields.h"
#include "Picture.h"

namespace qx::kestrin {

// Card texts at the platform edge, in code page 936: the card's text to a field (fits
// AnsiConverter), and a field without the blanks at its ends as the windows show it.
std::string CardAnsi(std::u16string_view text);
std::wstring Trimmed(std::string_view ansi);

// Panel2, which the picture is stretched to and the labels stand on.
constexpr int kCardFaceWidth = 665;
constexpr int kCardFaceHeight = 449;
// Character height of the labels' font, in pixels on any screen.
constexpr int kCardFaceFontPixels = 13;

struct CardFaceLabels {
  std::wstring labSN, labSs, labSm, labSb, labSa1, labSa2, labSi, labSd, labSv;
  bool operator==(const CardFaceLabels& o) const;
};

// Where a label stands on Panel2.
struct CardFaceLabelBox {
  std::wstring CardFaceLabels::*text;
  const char* name;
  RECT rect;
  bool wordWrap;
  bool bold;
};
const std::array<CardFaceLabelBox, 9>& CardFaceLabelBoxes();

// The labels' texts from the card fields. An address of 11 characters or fewer empties labSa2,
// so a shorter address never shows the previous card's rest.
CardFaceLabels CardFaceLabelsFrom(const CardFields& fields);

// A template bitmap file as a 24-bit picture of its own size, so that drawing never depends on
// the file's colour depth. PictureError when it cannot be loaded.
Picture LoadTemplate24(const std::wstring& path);

// Draws the photo at its own size with its top-left pixel's colour left out, so that what lies
// below shows through its background. An empty photo draws nothing.
void DrawPhotoTransparent(HDC dc, int x, int y, const Picture& photo);

// The picture of imgshow: the template as a 24-bit bitmap with the photo drawn at
// FacePhotoAt(photo size). A template that cannot be loaded raises PictureError.
Picture ComposeFacePicture(const std::wstring& templatePath, const Picture& photo);

// The picture stretched over (0, 0)-(665, 449) of dc and the labels drawn over it, text on a
// clear background, each clipped to its own box.
void DrawCardFace(HDC dc, const Picture& facePicture, const CardFaceLabels& labels);

// ShowCardFace: the whole face as a 665 x 449 bitmap. PictureError when the template fails.
Picture RenderCardFace(const std::wstring& templatePath, const Picture& photo, const CardFields& fields);
// ClearCardFace: the template alone, no photo, no label text.
Picture RenderEmptyCardFace(const std::wstring& templatePath);

}  // namespace qx::kestrin
