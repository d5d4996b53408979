// In-memory dialog frames of the shared framework.
#include "win/CodeDialog.h"

#include <cstring>

namespace qx::win {

std::wstring CodeDialog::BuildTemplate() const {
  // DLGTEMPLATE, then menu, class and title arrays, no controls. The template is built in a
  // wchar_t buffer, which keeps it WORD-aligned as the dialog manager wants.
  std::wstring t(sizeof(DLGTEMPLATE) / sizeof(wchar_t), L'\0');
  DLGTEMPLATE head{};
  head.style = (style_ | WS_POPUP) & ~WS_VISIBLE;
  head.cdit = 0;
  head.cx = 10;  // the real size is set in pixels at WM_INITDIALOG
  head.cy = 10;
  std::memcpy(t.data(), &head, sizeof head);
  t += L'\0';  // no menu
  t += L'\0';  // the standard dialog class
  t += caption_;
  t += L'\0';
  return t;
}

void CodeDialog::PrepareFrame() {
  RECT r{0, 0, clientW_, clientH_};
  const DWORD style = static_cast<DWORD>(::GetWindowLongW(hwnd(), GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(::GetWindowLongW(hwnd(), GWL_EXSTYLE));
  ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
  const int w = r.right - r.left, h = r.bottom - r.top;
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int x = work.left + (work.right - work.left - w) / 2;
  const int y = work.top + (work.bottom - work.top - h) / 2;
  ::SetWindowPos(hwnd(), nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CodeDialog::DoModal(HWND owner) {
  const std::wstring t = BuildTemplate();
  return RunModal(::GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(t.data()), owner);
}

bool CodeDialog::CreateModeless(HWND owner) {
  const std::wstring t = BuildTemplate();
  return RunModeless(::GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(t.data()),
                     owner);
}

}  // namespace qx::win
