// A page control (the comctl32 tab control) whose pages are tabs; the controls of a page
// are siblings laid over it.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

#include "win/Controls.h"

namespace qx::win {

class TabControl : public Control {
 public:
  using Control::Control;
  static TabControl Create(HWND parent, int id, const RECT& r);
  int AddPage(std::wstring_view caption) const;
  int PageCount() const;
  std::wstring PageCaption(int index) const;
};

}  // namespace qx::win
