// Page control wrapper of the shared framework.
#include "win/TabControl.h"

#include <commctrl.h>

namespace qx::win {

TabControl TabControl::Create(HWND parent, int id, const RECT& r) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES};
  ::InitCommonControlsEx(&icc);
  // WS_CLIPSIBLINGS: the page's controls, created after it, are painted over it.
  return TabControl(MakeChild(parent, id, WC_TABCONTROLW, L"", WS_CLIPSIBLINGS, r));
}

int TabControl::AddPage(std::wstring_view caption) const {
  std::wstring s(caption);
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = s.data();
  return static_cast<int>(
      ::SendMessageW(h_, TCM_INSERTITEMW, PageCount(), reinterpret_cast<LPARAM>(&item)));
}

int TabControl::PageCount() const {
  return static_cast<int>(::SendMessageW(h_, TCM_GETITEMCOUNT, 0, 0));
}

std::wstring TabControl::PageCaption(int index) const {
  wchar_t buf[256] = {};
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = buf;
  item.cchTextMax = 256;
  if (!::SendMessageW(h_, TCM_GETITEMW, index, reinterpret_cast<LPARAM>(&item))) return {};
  return std::wstring(buf);
}

}  // namespace qx::win
