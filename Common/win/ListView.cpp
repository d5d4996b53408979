// Virtual report list view of the shared framework.
#include "win/ListView.h"

#include <algorithm>
#include <vector>

namespace qx::win {

ListView ListView::CreateVirtualReport(HWND parent, int id, const RECT& r) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
  ::InitCommonControlsEx(&icc);
  ListView lv(MakeChild(parent, id, WC_LISTVIEWW, L"",
                        LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
                            WS_TABSTOP | WS_BORDER,
                        r));
  if (lv.hwnd())
    ListView_SetExtendedListViewStyle(lv.hwnd(), LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  return lv;
}

int ListView::AddColumn(std::wstring_view title, int width) const {
  std::wstring t(title);
  LVCOLUMNW col{};
  col.mask = LVCF_TEXT | LVCF_WIDTH;
  col.pszText = t.data();
  col.cx = width < 0 ? 64 : width;
  const int at = ColumnCount();
  return static_cast<int>(::SendMessageW(h_, LVM_INSERTCOLUMNW, at, reinterpret_cast<LPARAM>(&col)));
}

int ListView::ColumnCount() const {
  HWND header = reinterpret_cast<HWND>(::SendMessageW(h_, LVM_GETHEADER, 0, 0));
  return header ? static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

std::wstring ListView::ColumnTitle(int col) const {
  wchar_t buf[256] = {};
  LVCOLUMNW c{};
  c.mask = LVCF_TEXT;
  c.pszText = buf;
  c.cchTextMax = 255;
  if (!::SendMessageW(h_, LVM_GETCOLUMNW, col, reinterpret_cast<LPARAM>(&c))) return {};
  return buf;
}

int ListView::ColumnWidth(int col) const {
  return static_cast<int>(::SendMessageW(h_, LVM_GETCOLUMNWIDTH, col, 0));
}

void ListView::SetRowCount(int rows) const {
  ::SendMessageW(h_, LVM_SETITEMCOUNT, std::max(rows, 0), LVSICF_NOSCROLL);
  Redraw();
}

int ListView::RowCount() const { return static_cast<int>(::SendMessageW(h_, LVM_GETITEMCOUNT, 0, 0)); }

std::wstring ListView::CellText(int row, int col) const {
  std::vector<wchar_t> buf(1024);
  LVITEMW item{};
  item.iSubItem = col;
  item.pszText = buf.data();
  item.cchTextMax = static_cast<int>(buf.size());
  const LRESULT n = ::SendMessageW(h_, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  return std::wstring(buf.data(), static_cast<size_t>(std::max<LRESULT>(n, 0)));
}

int ListView::Selected() const {
  return static_cast<int>(::SendMessageW(h_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void ListView::SelectOnly(int row) const {
  LVITEMW clear{};
  clear.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  ::SendMessageW(h_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&clear));
  if (row < 0) return;
  LVITEMW set{};
  set.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  set.state = LVIS_SELECTED | LVIS_FOCUSED;
  ::SendMessageW(h_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&set));
  ::SendMessageW(h_, LVM_ENSUREVISIBLE, row, FALSE);
}

void ListView::Redraw() const { ::InvalidateRect(h_, nullptr, TRUE); }

void FillDispText(NMLVDISPINFOW& info, std::wstring_view text) {
  if (!(info.item.mask & LVIF_TEXT) || !info.item.pszText || info.item.cchTextMax <= 0) return;
  const size_t n = std::min(text.size(), static_cast<size_t>(info.item.cchTextMax - 1));
  std::copy_n(text.data(), n, info.item.pszText);
  info.item.pszText[n] = L'\0';
}

}  // namespace qx::win
