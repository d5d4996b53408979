// Modal dialogs from resource templates.
#include "win/Dialog.h"

namespace qx::win {
namespace {

struct PendingDialog {
  Dialog* dialog = nullptr;
  HHOOK hook = nullptr;
  void (*attach)(Dialog*, HWND) = nullptr;
};
thread_local PendingDialog t_pending;

}  // namespace

// Friend-free access to the protected Subclass for the hook.
struct DialogAttach : Dialog {
  static void Attach(Dialog* d, HWND h) { static_cast<DialogAttach*>(d)->Subclass(h); }
};

LRESULT CALLBACK Dialog::CreationHook(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_CREATEWND && t_pending.dialog) {
    auto* cbt = reinterpret_cast<CBT_CREATEWNDW*>(lp);
    // The first window created is the dialog itself; its controls come later.
    const bool isDialogClass =
        reinterpret_cast<ULONG_PTR>(cbt->lpcs->lpszClass) == 32770;
    if (isDialogClass && !(cbt->lpcs->style & WS_CHILD)) {
      Dialog* d = t_pending.dialog;
      t_pending.dialog = nullptr;
      try {
        DialogAttach::Attach(d, reinterpret_cast<HWND>(wp));
      } catch (...) {
      }
    }
  }
  return ::CallNextHookEx(nullptr, code, wp, lp);
}

INT_PTR Dialog::DoModal(HWND parent) {
  HINSTANCE inst = resources_ ? resources_ : ::GetModuleHandleW(nullptr);
  PendingDialog saved = t_pending;
  t_pending.dialog = this;
  t_pending.hook = ::SetWindowsHookExW(WH_CBT, &Dialog::CreationHook, nullptr,
                                       ::GetCurrentThreadId());
  INT_PTR r = ::DialogBoxParamW(inst, MAKEINTRESOURCEW(templateId_), parent,
                                &Dialog::DialogProc, reinterpret_cast<LPARAM>(this));
  if (t_pending.hook) ::UnhookWindowsHookEx(t_pending.hook);
  t_pending = saved;
  PassOnCreationError();
  return r;
}

void Dialog::EndDialog(INT_PTR result) {
  if (hwnd()) ::EndDialog(hwnd(), result);
}

// The modal run ends before the dialog is shown, as one that could not be created.
void Dialog::AbandonCreation() { EndDialog(-1); }

LRESULT Dialog::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  // Buttons, menu items and the dialog manager's own IDCANCEL for WM_CLOSE all have code 0.
  if (msg == WM_COMMAND && HIWORD(wp) == BN_CLICKED) {
    if (LOWORD(wp) == IDOK) {
      OnOK();
      return 0;
    }
    if (LOWORD(wp) == IDCANCEL) {
      OnCancel();
      return 0;
    }
  }
  return Default(msg, wp, lp);
}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != WM_INITDIALOG) return FALSE;
  auto* self = reinterpret_cast<Dialog*>(lp);
  if (!self) return TRUE;
  // The hook has already linked the object; this covers a dialog created without it.
  if (Window::FromHandle(hwnd) != self) DialogAttach::Attach(self, hwnd);
  try {
    return self->OnInitDialog();
  } catch (...) {
    self->FailCreation();
    self->AbandonCreation();
    return FALSE;
  }
}

}  // namespace qx::win
