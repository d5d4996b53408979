// A dialog whose frame is made in memory rather than taken from a resource: the caller gives
// style, caption and client size in pixels and lays the controls by code in OnInitDialog.
// Runs modal (the dialog manager's loop) or modeless.
#pragma once
#include <windows.h>

#include <string>

#include "win/Dialog.h"

namespace qx::win {

class CodeDialog : public DialogBase {
 public:
  // style: the frame's window style (WS_CAPTION | WS_SYSMENU | DS_MODALFRAME ...).
  CodeDialog(std::wstring caption, DWORD style, int clientWidth, int clientHeight)
      : caption_(std::move(caption)), style_(style), clientW_(clientWidth), clientH_(clientHeight) {}

  // Runs the dialog until EndDialog; owner is disabled meanwhile. -1 when it could not be made.
  // An error raised by OnInitDialog ends the run at once and is passed on to the caller.
  INT_PTR DoModal(HWND owner = nullptr);
  // Creates the dialog shown and returns; EndDialog then destroys it. Its keyboard messages
  // go to the dialog manager in the framework's loops. An error raised by OnInitDialog
  // destroys it and is passed on.
  bool CreateModeless(HWND owner = nullptr);

 private:
  // OnInitDialog comes after the frame got its client size and its place in the middle of
  // the screen.
  void PrepareFrame() override;
  std::wstring BuildTemplate() const;

  std::wstring caption_;
  DWORD style_;
  int clientW_;
  int clientH_;
};

}  // namespace qx::win
