// Date picker wrapper of the shared framework.
#include "win/DatePicker.h"

namespace qx::win {

DatePicker DatePicker::Create(HWND parent, int id, const RECT& r) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_DATE_CLASSES};
  ::InitCommonControlsEx(&icc);
  return DatePicker(MakeChild(parent, id, DATETIMEPICK_CLASSW, L"", DTS_SHORTDATEFORMAT | WS_TABSTOP, r));
}

SYSTEMTIME DatePicker::Value() const {
  SYSTEMTIME st{};
  ::SendMessageW(h_, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st));
  return st;
}

bool DatePicker::SetValue(const SYSTEMTIME& st) const {
  return ::SendMessageW(h_, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st)) != 0;
}

bool DatePicker::SetDate(int year, int month, int day) const {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(year);
  st.wMonth = static_cast<WORD>(month);
  st.wDay = static_cast<WORD>(day);
  // The day of the week is worked out by a round trip through a file time.
  FILETIME ft;
  if (::SystemTimeToFileTime(&st, &ft)) ::FileTimeToSystemTime(&ft, &st);
  return SetValue(st);
}

}  // namespace qx::win
