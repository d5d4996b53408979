// A single-line text input over the standard edit control.
#pragma once
#include <windows.h>

#include <string_view>

#include "win/Controls.h"

namespace qx::win {

class EditBox : public Control {
 public:
  using Control::Control;
  // Sunken border, scrolls sideways; readOnly keeps the text for showing only.
  static EditBox Create(HWND parent, int id, std::wstring_view text, const RECT& r,
                        bool readOnly = false);
  bool IsReadOnly() const;
};

}  // namespace qx::win
