// Card copies: the front and back pictures composed on "bkF.bmp" and "bkB.bmp" from the card
// fields and photo, and the saved copy, both pictures in one JPEG file.
#pragma once
#include <windows.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "CardFields.h"
#include "Picture.h"

namespace qx::kestrin {

// A birth date that cannot be read as a date.
class CardCopyError : public win::RunTimeError {
 public:
  using win::RunTimeError::RunTimeError;
};

// What imgPic and imgBk hold: each template as a 24-bit bitmap at its own size, drawn on;
// width x height is the size the images are given (W*85/26 x H*54/31 of the photo).
struct CardCopyImages {
  Picture front;
  Picture back;
  int width = 0;
  int height = 0;
};

constexpr int kCopyJpegQuality = 50;

// ComposeCopyImages: nothing (nullopt) when the photo is empty, so the caller keeps the
// previous copy. PictureError for a template that cannot be loaded, CardCopyError for an
// unreadable birth date; the caller's copy is then untouched as well.
std::optional<CardCopyImages> ComposeCopyImages(const std::wstring& frontTemplate, const std::wstring& backTemplate,
                                                const Picture& photo, const CardFields& fields);

// The same layout for a photo size given apart from the photo, as the record print needs it:
// the photo is drawn only when there is one.
CardCopyImages ComposeCopyImagesSized(const std::wstring& frontTemplate, const std::wstring& backTemplate,
                                      int photoWidth, int photoHeight, const Picture& photo,
                                      const CardFields& fields);

// The bitmap of the saved copy: (width + 10) x (2 height + 10), white margins, the front at
// (1, 1) and the back at (1, front height + 5), both at their own size.
Picture ComposeCopyFile(const CardCopyImages& images);

// The copy save's file steps: folder + "P" + id + ".bmp" written, turned into
// folder + "P" + id + ".jpg" at quality 50 and deleted again; existing files are replaced.
// A "\" is added to the folder when missing. Returns the JPEG's path; PictureError when a file
// cannot be written.
std::wstring SaveCardCopy(const CardCopyImages& images, std::wstring folder, const std::string& idAnsi);

}  // namespace qx::kestrin
