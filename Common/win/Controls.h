// Thin typed wrappers over child controls (label, button, check box, picture, graphical
// button), fonts made from a face and a point size, and twips-to-pixels layout.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

#include "win/Handle.h"

namespace qx::win {

// Pixels per logical inch of the screen, across and down.
int ScreenDpiX();
int ScreenDpiY();
// Twips (1440 an inch) to pixels at dpi, rounded.
int TwipsToPixels(int twips, int dpi);

// A font of the face at the point size (fractions allowed, e.g. 14.25) for a device of
// dpiY pixels per inch; GB2312_CHARSET so that Chinese faces render their glyphs.
UniqueFont MakeFont(const wchar_t* face, double points, bool bold, int dpiY);

// A control borrowed from its parent, which owns and destroys it.
class Control {
 public:
  Control() = default;
  explicit Control(HWND h) : h_(h) {}
  HWND hwnd() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

  void SetText(std::wstring_view text) const;
  std::wstring Text() const;
  void Enable(bool on) const;
  bool IsEnabled() const;
  void SetFont(HFONT font) const;
  int Id() const;

 protected:
  // Creates a child of the given class; null on failure.
  static HWND MakeChild(HWND parent, int id, const wchar_t* cls, std::wstring_view text,
                        DWORD style, const RECT& r, DWORD exStyle = 0);

  HWND h_ = nullptr;
};

class Label : public Control {
 public:
  using Control::Control;
  // style: SS_LEFT (wraps at blanks), SS_CENTER, SS_RIGHT...; SS_NOPREFIX is always added
  // so that an "&" in the text is shown as it is.
  static Label Create(HWND parent, int id, std::wstring_view text, const RECT& r,
                      DWORD style = SS_LEFT);
};

class Button : public Control {
 public:
  using Control::Control;
  static Button Create(HWND parent, int id, std::wstring_view text, const RECT& r,
                       DWORD style = BS_PUSHBUTTON);
  // A button that its parent draws at WM_DRAWITEM (see DrawIconButton). Every press is a
  // click (BN_CLICKED), however quickly it follows the one before.
  static Button CreateOwnerDrawn(HWND parent, int id, std::wstring_view text, const RECT& r);
};

class CheckBox : public Control {
 public:
  using Control::Control;
  static CheckBox Create(HWND parent, int id, std::wstring_view text, const RECT& r);
  bool IsChecked() const;
  void SetChecked(bool on) const;
};

// A static control that shows a bitmap in its own size, centred. The caller owns the bitmap.
class Picture : public Control {
 public:
  using Control::Control;
  static Picture Create(HWND parent, int id, const RECT& r);
  // Shows bmp (null: nothing); returns the bitmap shown before.
  HBITMAP SetBitmap(HBITMAP bmp) const;
  HBITMAP Bitmap() const;
};

// Draws an owner-drawn push button as a graphical button: the icon (32 x 32) centred in
// the upper part, the caption under it in the button's font; greyed when disabled.
void DrawIconButton(const DRAWITEMSTRUCT& dis, HICON icon);

}  // namespace qx::win
