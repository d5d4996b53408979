// The shell's folder selection dialog.
#include "win/FolderDialog.h"

#include <shlobj.h>

namespace qx::win {

std::optional<std::wstring> BrowseForFolder(HWND owner, const std::wstring& text) {
  BROWSEINFOW bi{};
  bi.hwndOwner = owner;
  bi.lpszTitle = text.c_str();
  bi.ulFlags = BIF_RETURNONLYFSDIRS;
  PIDLIST_ABSOLUTE pidl = ::SHBrowseForFolderW(&bi);
  if (!pidl) return std::nullopt;
  wchar_t path[MAX_PATH] = {};
  const BOOL ok = ::SHGetPathFromIDListW(pidl, path);
  ::CoTaskMemFree(pidl);
  if (!ok || path[0] == L'\0') return std::nullopt;
  return std::wstring(path);
}

}  // namespace qx::win
