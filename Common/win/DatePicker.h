// A date-only picker (the standard date and time picker with the short date format).
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "win/Controls.h"

namespace qx::win {

class DatePicker : public Control {
 public:
  using Control::Control;
  static DatePicker Create(HWND parent, int id, const RECT& r);

  // The whole value, time of day included, as the control keeps it.
  SYSTEMTIME Value() const;
  bool SetValue(const SYSTEMTIME& st) const;
  // The date at midnight.
  bool SetDate(int year, int month, int day) const;
};

}  // namespace qx::win
