// Modal dialogs from resource templates. The dialog window is taken over from its very
// creation, so WM_CREATE reaches the object as it does for plain windows.
#pragma once
#include "win/Window.h"

namespace qx::win {

class Dialog : public Window {
 public:
  explicit Dialog(UINT templateId, HINSTANCE resources = nullptr)
      : templateId_(templateId), resources_(resources) {}

  // Runs the dialog until EndDialog; -1 when the dialog could not be created. An error raised
  // by its handlers while it is being made (up to OnInitDialog) ends the run at once and is
  // passed on to the caller.
  INT_PTR DoModal(HWND parent = nullptr);
  void EndDialog(INT_PTR result);

 protected:
  virtual BOOL OnInitDialog() { return TRUE; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // Default: IDOK and IDCANCEL end the dialog (a WM_CLOSE becomes IDCANCEL), the rest goes
  // to the dialog manager.
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
  void AbandonCreation() override;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK CreationHook(int code, WPARAM wp, LPARAM lp);

  UINT templateId_;
  HINSTANCE resources_;
};

}  // namespace qx::win
