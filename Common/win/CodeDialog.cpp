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

void CodeDialog::PlaceFrame() {
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
  modal_ = true;
  const std::wstring t = BuildTemplate();
  const INT_PTR r = ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr),
                                              reinterpret_cast<const DLGTEMPLATE*>(t.data()), owner,
                                              &CodeDialog::DialogProc, reinterpret_cast<LPARAM>(this));
  PassOnCreationError();
  return r;
}

bool CodeDialog::CreateModeless(HWND owner) {
  modal_ = false;
  const std::wstring t = BuildTemplate();
  HWND h = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr),
                                        reinterpret_cast<const DLGTEMPLATE*>(t.data()), owner,
                                        &CodeDialog::DialogProc, reinterpret_cast<LPARAM>(this));
  PassOnCreationError();
  if (!h || !::IsWindow(h)) return false;
  SetModelessDialog(h, true);
  ::ShowWindow(h, SW_SHOW);
  return true;
}

void CodeDialog::EndDialog(INT_PTR result) {
  if (!hwnd()) return;
  if (modal_)
    ::EndDialog(hwnd(), result);
  else
    Destroy();
}

// A modal run ends before the dialog is shown; a modeless dialog is destroyed.
void CodeDialog::AbandonCreation() { EndDialog(-1); }

LRESULT CodeDialog::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCDESTROY) SetModelessDialog(hwnd(), false);
  if (msg == WM_COMMAND && HIWORD(wp) == BN_CLICKED &&
      (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
    EndDialog(LOWORD(wp));
    return 0;
  }
  return Default(msg, wp, lp);
}

INT_PTR CALLBACK CodeDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  // Messages before WM_INITDIALOG (WM_SETFONT among them) get the dialog manager's default.
  if (msg != WM_INITDIALOG) return FALSE;
  auto* self = reinterpret_cast<CodeDialog*>(lp);
  if (!self) return TRUE;
  try {
    self->Subclass(hwnd);
    self->PlaceFrame();
    return self->OnInitDialog();
  } catch (...) {
    self->FailCreation();
    self->AbandonCreation();
    return FALSE;
  }
}

}  // namespace qx::win
