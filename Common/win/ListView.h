// A report-style list view whose rows live with the caller (virtual, LVS_OWNERDATA): the
// parent answers LVN_GETDISPINFOW for the texts, so a large selection costs no inserted items.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <string_view>

#include "win/Controls.h"

namespace qx::win {

class ListView : public Control {
 public:
  using Control::Control;
  // Single selection of whole rows, grid lines, column titles; no editing of labels.
  static ListView CreateVirtualReport(HWND parent, int id, const RECT& r);

  // width < 0: the control's default width.
  int AddColumn(std::wstring_view title, int width = -1) const;
  int ColumnCount() const;
  std::wstring ColumnTitle(int col) const;
  int ColumnWidth(int col) const;

  // Number of rows the parent serves; the view repaints them.
  void SetRowCount(int rows) const;
  int RowCount() const;
  // A cell's text as the parent serves it.
  std::wstring CellText(int row, int col) const;

  // -1: none.
  int Selected() const;
  // Selects and focuses one row (-1 clears the selection) and scrolls it into view.
  void SelectOnly(int row) const;
  void Redraw() const;
};

// The text a parent answering LVN_GETDISPINFOW puts into the item (cut to its buffer).
void FillDispText(NMLVDISPINFOW& info, std::wstring_view text);

}  // namespace qx::win
