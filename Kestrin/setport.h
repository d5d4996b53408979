// Unit setport: TForm_setport, the reader port settings dialog that edits "reader.ini".
#pragma once
#include <windows.h>

#include "Program.h"
#include "resource.h"
#include "win/ComboBox.h"
#include "win/Controls.h"
#include "win/Dialog.h"
#include "win/Handle.h"
#include "win/TabControl.h"

namespace qx::kestrin {

inline constexpr wchar_t kSetportCaption[] = L"读卡器端口设置";

class TForm_setport : public win::Dialog {
 public:
  TForm_setport() : win::Dialog(IDD_SETPORT) {}

  // Runs the dialog until it is closed.
  INT_PTR ShowModal(HWND owner) { return DoModal(owner); }

  void FormCreate();
  void ckusbClick();
  void btnSetClick();
  void btnquitClick();

 protected:
  BOOL OnInitDialog() override;
  // Enter does not close the dialog: only btnquit and the close box do.
  void OnOK() override {}
  win::CommandTable Commands() const override;
  void RunEvent(const std::function<void()>& handler) override { RunHandler(handler); }

 private:
  bool CreateComponents();

  win::TabControl PageControl1;
  win::Label Label5, Label6;
  win::ComboBox cbCom, cbBaund;
  win::CheckBox ckusb;
  win::Button btnSet, btnquit;
  win::UniqueFont font_;
};

}  // namespace qx::kestrin
