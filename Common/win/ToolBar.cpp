// Tool bar wrapper of the shared framework.
#include "win/ToolBar.h"

namespace qx::win {

ToolBar::~ToolBar() {
  // The control does not free an image list that it was given.
  if (images_) ::ImageList_Destroy(images_);
}

bool ToolBar::Create(HWND parent, int id, int height, SIZE buttonSize, SIZE imageSize,
                     HIMAGELIST images) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&icc);
  images_ = images;
  height_ = height;
  // CCS_NORESIZE: the bar keeps the height it is given instead of the one it would choose.
  h_ = ::CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                         WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS |
                             CCS_TOP | CCS_NORESIZE | CCS_NODIVIDER,
                         0, 0, 0, height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         ::GetModuleHandleW(nullptr), nullptr);
  if (!h_) return false;
  ::SendMessageW(h_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  ::SendMessageW(h_, TB_SETBITMAPSIZE, 0, MAKELPARAM(imageSize.cx, imageSize.cy));
  ::SendMessageW(h_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
  ::SendMessageW(h_, TB_SETBUTTONSIZE, 0, MAKELPARAM(buttonSize.cx, buttonSize.cy));
  Resize();
  return true;
}

bool ToolBar::AddButton(int commandId, int image, std::wstring hint) {
  TBBUTTON b{};
  b.iBitmap = image;
  b.idCommand = commandId;
  b.fsState = TBSTATE_ENABLED;
  b.fsStyle = BTNS_BUTTON;
  b.iString = -1;
  if (!::SendMessageW(h_, TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&b))) return false;
  entries_.push_back(Entry{commandId, std::move(hint)});
  return true;
}

bool ToolBar::Enable(int commandId, bool on) const {
  return ::SendMessageW(h_, TB_ENABLEBUTTON, commandId, MAKELPARAM(on ? TRUE : FALSE, 0)) != 0;
}

bool ToolBar::IsEnabled(int commandId) const {
  return ::SendMessageW(h_, TB_ISBUTTONENABLED, commandId, 0) != 0;
}

const ToolBar::Entry* ToolBar::Find(int commandId) const {
  for (const Entry& e : entries_)
    if (e.id == commandId) return &e;
  return nullptr;
}

void ToolBar::SetHint(int commandId, std::wstring hint) {
  for (Entry& e : entries_)
    if (e.id == commandId) e.hint = std::move(hint);
}

std::wstring ToolBar::Hint(int commandId) const {
  const Entry* e = Find(commandId);
  return e ? e->hint : std::wstring();
}

int ToolBar::ButtonCount() const {
  return static_cast<int>(::SendMessageW(h_, TB_BUTTONCOUNT, 0, 0));
}

bool ToolBar::HandleNotify(const NMHDR& hdr) {
  if (hdr.code != TTN_GETDISPINFOW) return false;
  // The tooltip belongs to the bar; its request names the button by command id.
  auto& info = const_cast<NMTTDISPINFOW&>(reinterpret_cast<const NMTTDISPINFOW&>(hdr));
  const Entry* e = Find(static_cast<int>(hdr.idFrom));
  if (!e) return false;
  info.lpszText = const_cast<wchar_t*>(e->hint.c_str());
  info.hinst = nullptr;
  return true;
}

void ToolBar::Resize() const {
  if (!h_) return;
  RECT r{};
  ::GetClientRect(::GetParent(h_), &r);
  ::MoveWindow(h_, 0, 0, r.right - r.left, height_, TRUE);
}

}  // namespace qx::win
