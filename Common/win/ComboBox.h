// A drop-down list (a combo box without typing) over the standard control.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

#include "win/Controls.h"

namespace qx::win {

class ComboBox : public Control {
 public:
  using Control::Control;
  // dropHeight: the height of the opened list.
  static ComboBox CreateDropDownList(HWND parent, int id, const RECT& r, int dropHeight);

  int Add(std::wstring_view text) const;
  int Count() const;
  std::wstring ItemText(int index) const;
  // -1: no selection (the box then shows no text).
  void Select(int index) const;
  int Selected() const;
  // Selects the item whose text is exactly text; none when there is no such item.
  int SelectExact(std::wstring_view text) const;
};

}  // namespace qx::win
