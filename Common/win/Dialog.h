// Dialogs of the shared framework. Both kinds, from resource templates (Dialog) and built in
// memory (CodeDialog), are taken over from their very creation in the same way, so WM_CREATE
// reaches the object as it does for plain windows.
#pragma once
#include "win/Window.h"

namespace qx::win {

class DialogBase : public Window {
 public:
  // Modal: ends the run with result. Modeless: destroys the dialog.
  void EndDialog(INT_PTR result);
  bool modal() const { return modal_; }

 protected:
  virtual BOOL OnInitDialog() { return TRUE; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // The table first; then IDOK and IDCANCEL end the dialog (a WM_CLOSE becomes IDCANCEL).
  bool OnCommand(int id, int code, HWND control) override;
  // A modal run ends before the dialog is shown; a modeless dialog is destroyed.
  void AbandonCreation() override;

  // Runs the dialog of a template until EndDialog; -1 when it could not be created. An error
  // raised by its handlers while it is being made (up to OnInitDialog) ends the run at once
  // and is passed on to the caller.
  INT_PTR RunModal(HINSTANCE inst, const DLGTEMPLATE* tmpl, HWND owner);
  // Creates the dialog of a template and returns; an error raised while it is being made
  // destroys it and is passed on. Its keyboard messages go to the dialog manager in the
  // framework's loops.
  bool RunModeless(HINSTANCE inst, const DLGTEMPLATE* tmpl, HWND owner);

 private:
  // Before OnInitDialog, once the object is linked.
  virtual void PrepareFrame() {}

  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK CreationHook(int code, WPARAM wp, LPARAM lp);
  // Calls create with the creation hook set for this dialog.
  template <typename F>
  auto Creating(F&& create);

  bool modal_ = false;
};

// A modal dialog from a resource template.
class Dialog : public DialogBase {
 public:
  explicit Dialog(UINT templateId, HINSTANCE resources = nullptr)
      : templateId_(templateId), resources_(resources) {}

  // Runs the dialog until EndDialog; -1 when the dialog could not be created. An error raised
  // by its handlers while it is being made (up to OnInitDialog) ends the run at once and is
  // passed on to the caller.
  INT_PTR DoModal(HWND parent = nullptr);

 private:
  UINT templateId_;
  HINSTANCE resources_;
};

}  // namespace qx::win
