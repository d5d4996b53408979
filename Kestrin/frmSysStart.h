// Unit frmSysStart: TForm_SysStart, the start-up picture shown while the database opens.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

#include "resource.h"
#include "win/Controls.h"
#include "win/Handle.h"
#include "win/Window.h"

namespace qx::kestrin {

inline constexpr wchar_t kSysStartClass[] = L"TForm_SysStart";

// A JPEG file's picture as a 24-bit top-down bitmap (decoded by libjpeg); throws
// std::runtime_error for bytes that are no JPEG it can decode.
win::UniqueBitmap DecodeJpeg(const std::vector<std::uint8_t>& bytes, SIZE* size);

class TForm_SysStart : public win::Window {
 public:
  TForm_SysStart() = default;
  ~TForm_SysStart() override;

  // The window with its picture and label, not shown; throws when the picture cannot be
  // decoded or the window not made.
  void Create();
  // Shows and paints it at once.
  void Show();

  void FormShow();

  SIZE PictureSize() const { return pictureSize_; }
  HBITMAP Picture() const { return picture_.get(); }
  HWND Label1() const { return label1_.hwnd(); }

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
  bool OnPaint() override;

 private:
  win::UniqueBitmap picture_;  // Image1's picture
  SIZE pictureSize_{0, 0};
  win::Label label1_;
  win::UniqueFont labelFont_;
  win::UniqueBrush cream_;
};

}  // namespace qx::kestrin
