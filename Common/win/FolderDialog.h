// The shell's folder selection dialog, file-system folders only.
#pragma once
#include <windows.h>

#include <optional>
#include <string>

namespace qx::win {

// Shows the dialog with the given text above its tree, starting with no folder selected.
// The chosen folder's path, or nullopt when it was cancelled or the choice has no
// file-system path (a virtual folder).
std::optional<std::wstring> BrowseForFolder(HWND owner, const std::wstring& text);

}  // namespace qx::win
