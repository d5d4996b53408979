// Keyed panels over the comctl32 status bar.
#include "win/StatusBar.h"

#include <commctrl.h>

#include <algorithm>

namespace qx::win {

bool StatusBar::Create(HWND parent, int id, HFONT font) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&icc);
  h_ = ::CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         ::GetModuleHandleW(nullptr), nullptr);
  if (!h_) return false;
  if (font) ::SendMessageW(h_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  // Keeps the bar's height in step with its font.
  ::SendMessageW(h_, WM_SIZE, 0, 0);
  return true;
}

void StatusBar::AddPanel(std::wstring key, int width, std::wstring_view text) {
  panels_.push_back(Panel{std::move(key), width});
  ApplyParts();
  SetText(panels_.back().key, text);
}

int StatusBar::IndexOf(std::wstring_view key) const {
  for (size_t i = 0; i < panels_.size(); ++i)
    if (panels_[i].key == key) return static_cast<int>(i);
  return -1;
}

bool StatusBar::SetText(std::wstring_view key, std::wstring_view text) const {
  const int i = IndexOf(key);
  if (i < 0 || !h_) return false;
  const std::wstring s(text);
  return ::SendMessageW(h_, SB_SETTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(s.c_str())) != 0;
}

std::wstring StatusBar::Text(std::wstring_view key) const {
  const int i = IndexOf(key);
  if (i < 0 || !h_) return {};
  const LRESULT len = ::SendMessageW(h_, SB_GETTEXTLENGTHW, static_cast<WPARAM>(i), 0);
  std::wstring buf(static_cast<size_t>(LOWORD(len)) + 1, L'\0');
  const LRESULT got = ::SendMessageW(h_, SB_GETTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf.data()));
  buf.resize(std::min<size_t>(LOWORD(got), buf.size() - 1));
  return buf;
}

void StatusBar::Resize() const {
  if (!h_) return;
  ::SendMessageW(h_, WM_SIZE, 0, 0);
  ApplyParts();
}

void StatusBar::ApplyParts() const {
  if (!h_ || panels_.empty()) return;
  RECT r;
  ::GetClientRect(h_, &r);
  const int total = r.right - r.left;
  int fixed = 0;
  for (const Panel& p : panels_) fixed += p.width;
  const int spring = std::max(0, total - fixed);
  std::vector<int> rights;
  int x = 0;
  for (size_t i = 0; i < panels_.size(); ++i) {
    x += panels_[i].width > 0 ? panels_[i].width : spring;
    // The last panel reaches the bar's end.
    rights.push_back(i + 1 == panels_.size() ? -1 : x);
  }
  ::SendMessageW(h_, SB_SETPARTS, rights.size(), reinterpret_cast<LPARAM>(rights.data()));
}

}  // namespace qx::win
