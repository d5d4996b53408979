// Dialogs of the shared framework.
#include "win/Dialog.h"

namespace qx::win {
namespace {

struct PendingDialog {
  DialogBase* dialog = nullptr;
  HHOOK hook = nullptr;
};
thread_local PendingDialog t_pending;

}  // namespace

LRESULT CALLBACK DialogBase::CreationHook(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_CREATEWND && t_pending.dialog) {
    auto* cbt = reinterpret_cast<CBT_CREATEWNDW*>(lp);
    // The first window created is the dialog itself; its controls come later.
    const bool isDialogClass = reinterpret_cast<ULONG_PTR>(cbt->lpcs->lpszClass) == 32770;
    if (isDialogClass && !(cbt->lpcs->style & WS_CHILD)) {
      DialogBase* d = t_pending.dialog;
      t_pending.dialog = nullptr;
      try {
        d->Subclass(reinterpret_cast<HWND>(wp));
      } catch (...) {
      }
    }
  }
  return ::CallNextHookEx(nullptr, code, wp, lp);
}

template <typename F>
auto DialogBase::Creating(F&& create) {
  // Nested creations (a dialog made by another's handlers) keep their own pending entry.
  const PendingDialog saved = t_pending;
  t_pending.dialog = this;
  t_pending.hook = ::SetWindowsHookExW(WH_CBT, &DialogBase::CreationHook, nullptr,
                                       ::GetCurrentThreadId());
  const auto r = create();
  if (t_pending.hook) ::UnhookWindowsHookEx(t_pending.hook);
  t_pending = saved;
  return r;
}

INT_PTR DialogBase::RunModal(HINSTANCE inst, const DLGTEMPLATE* tmpl, HWND owner) {
  modal_ = true;
  if (!tmpl) return -1;
  const INT_PTR r = Creating([&] {
    return ::DialogBoxIndirectParamW(inst, tmpl, owner, &DialogBase::DialogProc,
                                     reinterpret_cast<LPARAM>(this));
  });
  PassOnCreationError();
  return r;
}

bool DialogBase::RunModeless(HINSTANCE inst, const DLGTEMPLATE* tmpl, HWND owner) {
  modal_ = false;
  if (!tmpl) return false;
  HWND h = Creating([&] {
    return ::CreateDialogIndirectParamW(inst, tmpl, owner, &DialogBase::DialogProc,
                                        reinterpret_cast<LPARAM>(this));
  });
  PassOnCreationError();
  if (!h || !::IsWindow(h)) return false;
  SetModelessDialog(h, true);
  ::ShowWindow(h, SW_SHOW);
  return true;
}

void DialogBase::EndDialog(INT_PTR result) {
  if (!hwnd()) return;
  if (modal_)
    ::EndDialog(hwnd(), result);
  else
    Destroy();
}

void DialogBase::AbandonCreation() { EndDialog(-1); }

bool DialogBase::OnCommand(int id, int code, HWND control) {
  if (Window::OnCommand(id, code, control)) return true;
  // Buttons, menu items and the dialog manager's own IDCANCEL for WM_CLOSE and Esc all
  // have code 0.
  if (code != BN_CLICKED) return false;
  if (id == IDOK) {
    OnOK();
    return true;
  }
  if (id == IDCANCEL) {
    OnCancel();
    return true;
  }
  return false;
}

INT_PTR CALLBACK DialogBase::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  // Messages before WM_INITDIALOG (WM_SETFONT among them) reach the object through the
  // subclass; here they get the dialog manager's default.
  if (msg != WM_INITDIALOG) return FALSE;
  auto* self = reinterpret_cast<DialogBase*>(lp);
  if (!self) return TRUE;
  try {
    // The hook has already linked the object; this covers a dialog created without it.
    if (Window::FromHandle(hwnd) != self) self->Subclass(hwnd);
    self->PrepareFrame();
    return self->OnInitDialog();
  } catch (...) {
    self->FailCreation();
    self->AbandonCreation();
    return FALSE;
  }
}

INT_PTR Dialog::DoModal(HWND parent) {
  HINSTANCE inst = resources_ ? resources_ : ::GetModuleHandleW(nullptr);
  // The template is read here so that both kinds of dialog are made the same way.
  const DLGTEMPLATE* tmpl = nullptr;
  if (HRSRC res = ::FindResourceW(inst, MAKEINTRESOURCEW(templateId_),
                                 MAKEINTRESOURCEW(5) /* RT_DIALOG */))
    if (HGLOBAL data = ::LoadResource(inst, res))
      tmpl = static_cast<const DLGTEMPLATE*>(::LockResource(data));
  return RunModal(inst, tmpl, parent);
}

}  // namespace qx::win
