// Child-control wrappers, fonts and twips layout of the shared framework.
#include "win/Controls.h"

#include <commctrl.h>

#include <cmath>
#include <vector>

namespace qx::win {
namespace {

// The button class takes double clicks, and an owner-drawn button reports the second press
// of one as BN_DOUBLECLICKED instead of a click: here it is an ordinary press again.
LRESULT CALLBACK SinglePressProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR) {
  if (msg == WM_LBUTTONDBLCLK) msg = WM_LBUTTONDOWN;
  if (msg == WM_NCDESTROY) ::RemoveWindowSubclass(h, &SinglePressProc, id);
  return ::DefSubclassProc(h, msg, wp, lp);
}

}  // namespace

int ScreenDpiX() {
  WindowDc dc(nullptr);
  return ::GetDeviceCaps(dc.get(), LOGPIXELSX);
}

int ScreenDpiY() {
  WindowDc dc(nullptr);
  return ::GetDeviceCaps(dc.get(), LOGPIXELSY);
}

int TwipsToPixels(int twips, int dpi) { return ::MulDiv(twips, dpi, 1440); }

UniqueFont MakeFont(const wchar_t* face, double points, bool bold, int dpiY) {
  LOGFONTW lf{};
  // Negative: the character height, as point sizes are meant.
  lf.lfHeight = -static_cast<LONG>(std::lround(points * dpiY / 72.0));
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  lf.lfCharSet = GB2312_CHARSET;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
  return UniqueFont(::CreateFontIndirectW(&lf));
}

void Control::SetText(std::wstring_view text) const {
  const std::wstring s(text);
  ::SetWindowTextW(h_, s.c_str());
}

std::wstring Control::Text() const {
  const int n = ::GetWindowTextLengthW(h_);
  if (n <= 0) return {};
  std::vector<wchar_t> buf(static_cast<size_t>(n) + 1);
  const int got = ::GetWindowTextW(h_, buf.data(), n + 1);
  return std::wstring(buf.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

void Control::Enable(bool on) const { ::EnableWindow(h_, on ? TRUE : FALSE); }
bool Control::IsEnabled() const { return ::IsWindowEnabled(h_) != FALSE; }
void Control::SetFont(HFONT font) const {
  ::SendMessageW(h_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}
int Control::Id() const { return ::GetDlgCtrlID(h_); }

HWND Control::MakeChild(HWND parent, int id, const wchar_t* cls, std::wstring_view text,
                        DWORD style, const RECT& r, DWORD exStyle) {
  const std::wstring s(text);
  return ::CreateWindowExW(exStyle, cls, s.c_str(), WS_CHILD | WS_VISIBLE | style, r.left,
                           r.top, r.right - r.left, r.bottom - r.top, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           ::GetModuleHandleW(nullptr), nullptr);
}

Label Label::Create(HWND parent, int id, std::wstring_view text, const RECT& r, DWORD style) {
  return Label(MakeChild(parent, id, L"STATIC", text, style | SS_NOPREFIX, r));
}

Button Button::Create(HWND parent, int id, std::wstring_view text, const RECT& r, DWORD style) {
  return Button(MakeChild(parent, id, L"BUTTON", text, style | WS_TABSTOP, r));
}

Button Button::CreateOwnerDrawn(HWND parent, int id, std::wstring_view text, const RECT& r) {
  Button b = Create(parent, id, text, r, BS_OWNERDRAW);
  if (b) ::SetWindowSubclass(b.hwnd(), &SinglePressProc, 0, 0);
  return b;
}

CheckBox CheckBox::Create(HWND parent, int id, std::wstring_view text, const RECT& r) {
  return CheckBox(MakeChild(parent, id, L"BUTTON", text, BS_AUTOCHECKBOX | WS_TABSTOP, r));
}

bool CheckBox::IsChecked() const {
  return ::SendMessageW(h_, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void CheckBox::SetChecked(bool on) const {
  ::SendMessageW(h_, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

Picture Picture::Create(HWND parent, int id, const RECT& r) {
  // SS_CENTERIMAGE keeps the control's size whatever the bitmap's.
  return Picture(MakeChild(parent, id, L"STATIC", L"", SS_BITMAP | SS_CENTERIMAGE, r));
}

HBITMAP Picture::SetBitmap(HBITMAP bmp) const {
  return reinterpret_cast<HBITMAP>(
      ::SendMessageW(h_, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bmp)));
}

HBITMAP Picture::Bitmap() const {
  return reinterpret_cast<HBITMAP>(::SendMessageW(h_, STM_GETIMAGE, IMAGE_BITMAP, 0));
}

void DrawIconButton(const DRAWITEMSTRUCT& dis, HICON icon) {
  HDC dc = dis.hDC;
  RECT r = dis.rcItem;
  const bool pushed = (dis.itemState & ODS_SELECTED) != 0;
  const bool disabled = (dis.itemState & ODS_DISABLED) != 0;
  ::DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
  const int shift = pushed ? 1 : 0;

  const int kIcon = 32;
  const int width = r.right - r.left;
  const int x = r.left + (width - kIcon) / 2 + shift;
  const int y = r.top + 6 + shift;
  if (icon) {
    if (disabled)
      ::DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, x, y, kIcon, kIcon,
                   DST_ICON | DSS_DISABLED);
    else
      ::DrawIconEx(dc, x, y, icon, kIcon, kIcon, 0, nullptr, DI_NORMAL);
  }

  const std::wstring caption = Control(dis.hwndItem).Text();
  HFONT font = reinterpret_cast<HFONT>(::SendMessageW(dis.hwndItem, WM_GETFONT, 0, 0));
  HGDIOBJ old = font ? ::SelectObject(dc, font) : nullptr;
  RECT tr{r.left + 2 + shift, y + kIcon + 2, r.right - 2 + shift, r.bottom - 3 + shift};
  ::SetBkMode(dc, TRANSPARENT);
  if (disabled) {
    // The engraved look of disabled text: a highlight offset by one, then the grey.
    RECT hr = tr;
    ::OffsetRect(&hr, 1, 1);
    ::SetTextColor(dc, ::GetSysColor(COLOR_BTNHIGHLIGHT));
    ::DrawTextW(dc, caption.c_str(), -1, &hr, DT_CENTER | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
  } else {
    ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
  }
  ::DrawTextW(dc, caption.c_str(), -1, &tr, DT_CENTER | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  if (old) ::SelectObject(dc, old);

  if ((dis.itemState & ODS_FOCUS) && !(dis.itemState & ODS_NOFOCUSRECT)) {
    RECT fr = r;
    ::InflateRect(&fr, -4, -4);
    ::DrawFocusRect(dc, &fr);
  }
}

}  // namespace qx::win
