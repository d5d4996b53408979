// Unit about: TForm_about, the about box with the program's logo, name and version.
#pragma once
#include <windows.h>

#include "Program.h"
#include "resource.h"
#include "win/Controls.h"
#include "win/Dialog.h"
#include "win/Handle.h"

namespace qx::kestrin {

inline constexpr wchar_t kAboutCaption[] = L"关于...";

class TForm_about : public win::Dialog {
 public:
  TForm_about() : win::Dialog(IDD_ABOUT) {}

  INT_PTR ShowModal(HWND owner) { return DoModal(owner); }

  void FormShow();
  void Button1Click();

  // The logo's transparent colour, CLR_INVALID before the first show.
  COLORREF TransparentColor() const { return transparent_; }

 protected:
  BOOL OnInitDialog() override;
  win::CommandTable Commands() const override;
  void RunEvent(const std::function<void()>& handler) override { RunHandler(handler); }
  void OnShowWindow(bool show, UINT status) override;
  bool OnDrawItem(const DRAWITEMSTRUCT& item) override;

 private:
  bool CreateComponents();
  void DrawImage1(const DRAWITEMSTRUCT& dis) const;

  win::Control Image1;
  win::Label Label1, Label2;
  win::Button Button1;
  win::UniqueFont font_;
  win::UniqueBitmap logo_;
  COLORREF transparent_ = CLR_INVALID;
};

}  // namespace qx::kestrin
