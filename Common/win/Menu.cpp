// Table-built menus of the shared framework.
#include "win/Menu.h"

#include <vector>

namespace qx::win {

HMENU AppendDropDown(HMENU bar, const wchar_t* text, std::initializer_list<MenuItemDef> items) {
  HMENU drop = ::CreatePopupMenu();
  if (!drop) return nullptr;
  for (const MenuItemDef& i : items) ::AppendMenuW(drop, MF_STRING, i.id, i.text);
  if (!::AppendMenuW(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(drop), text)) {
    ::DestroyMenu(drop);
    return nullptr;
  }
  return drop;
}

bool AppendCommand(HMENU bar, UINT id, const wchar_t* text) {
  return ::AppendMenuW(bar, MF_STRING, id, text) != FALSE;
}

bool SetMenuText(HMENU menu, UINT item, bool byPosition, const std::wstring& text) {
  MENUITEMINFOW mi{};
  mi.cbSize = sizeof mi;
  mi.fMask = MIIM_STRING;
  mi.dwTypeData = const_cast<wchar_t*>(text.c_str());
  return ::SetMenuItemInfoW(menu, item, byPosition ? TRUE : FALSE, &mi) != FALSE;
}

std::wstring MenuText(HMENU menu, UINT item, bool byPosition) {
  MENUITEMINFOW mi{};
  mi.cbSize = sizeof mi;
  mi.fMask = MIIM_STRING;
  if (!::GetMenuItemInfoW(menu, item, byPosition ? TRUE : FALSE, &mi)) return {};
  std::vector<wchar_t> buf(mi.cch + 1);
  mi.dwTypeData = buf.data();
  mi.cch = static_cast<UINT>(buf.size());
  if (!::GetMenuItemInfoW(menu, item, byPosition ? TRUE : FALSE, &mi)) return {};
  return std::wstring(buf.data());
}

bool EnableMenuEntry(HMENU menu, UINT item, bool byPosition, bool on) {
  const UINT how = (byPosition ? MF_BYPOSITION : MF_BYCOMMAND) | (on ? MF_ENABLED : MF_GRAYED);
  return ::EnableMenuItem(menu, item, how) != -1;
}

bool IsMenuEntryEnabled(HMENU menu, UINT item, bool byPosition) {
  const UINT state = ::GetMenuState(menu, item, byPosition ? MF_BYPOSITION : MF_BYCOMMAND);
  return state != static_cast<UINT>(-1) && !(state & (MF_GRAYED | MF_DISABLED));
}

}  // namespace qx::win
