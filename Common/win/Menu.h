// Menus built from tables: a bar of drop-down menus and plain items, and the state of an
// item (text, enabled) read and set by command id or by position.
#pragma once
#include <windows.h>

#include <initializer_list>
#include <string>

namespace qx::win {

struct MenuItemDef {
  UINT id;
  const wchar_t* text;
};

// Appends a drop-down menu with its items to bar; returns the drop-down (owned by bar).
HMENU AppendDropDown(HMENU bar, const wchar_t* text, std::initializer_list<MenuItemDef> items);
// Appends a plain command to bar (a top-level item without drop-down).
bool AppendCommand(HMENU bar, UINT id, const wchar_t* text);

bool SetMenuText(HMENU menu, UINT item, bool byPosition, const std::wstring& text);
std::wstring MenuText(HMENU menu, UINT item, bool byPosition);
bool EnableMenuEntry(HMENU menu, UINT item, bool byPosition, bool on);
bool IsMenuEntryEnabled(HMENU menu, UINT item, bool byPosition);

}  // namespace qx::win
