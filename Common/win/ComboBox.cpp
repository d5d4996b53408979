// Drop-down list wrapper of the shared framework.
#include "win/ComboBox.h"

#include <vector>

namespace qx::win {

ComboBox ComboBox::CreateDropDownList(HWND parent, int id, const RECT& r, int dropHeight) {
  RECT full = r;
  // The control's height is that of its list when open; the closed box sizes itself.
  full.bottom = full.top + dropHeight;
  return ComboBox(MakeChild(parent, id, L"COMBOBOX", L"",
                            CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, full));
}

int ComboBox::Add(std::wstring_view text) const {
  const std::wstring s(text);
  return static_cast<int>(::SendMessageW(h_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s.c_str())));
}

int ComboBox::Count() const { return static_cast<int>(::SendMessageW(h_, CB_GETCOUNT, 0, 0)); }

std::wstring ComboBox::ItemText(int index) const {
  const LRESULT n = ::SendMessageW(h_, CB_GETLBTEXTLEN, index, 0);
  if (n == CB_ERR) return {};
  std::vector<wchar_t> buf(static_cast<size_t>(n) + 1);
  ::SendMessageW(h_, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(buf.data()));
  return std::wstring(buf.data());
}

void ComboBox::Select(int index) const { ::SendMessageW(h_, CB_SETCURSEL, index, 0); }

int ComboBox::Selected() const { return static_cast<int>(::SendMessageW(h_, CB_GETCURSEL, 0, 0)); }

int ComboBox::SelectExact(std::wstring_view text) const {
  // CB_FINDSTRINGEXACT ignores case; the item must match as it is written.
  for (int i = 0, n = Count(); i < n; ++i) {
    if (ItemText(i) == text) {
      Select(i);
      return i;
    }
  }
  Select(-1);
  return -1;
}

}  // namespace qx::win
