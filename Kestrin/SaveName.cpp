// Names of the saved photo and copy files.
#include "SaveName.h"

namespace qx::kestrin {
namespace {

wchar_t Upper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

bool SameNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

// The platform reads these as devices whatever folder and extension go with them; blanks
// before the dot do not count.
bool IsDeviceName(std::wstring_view name) {
  std::wstring_view stem = name.substr(0, name.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.remove_suffix(1);
  for (std::wstring_view d : {L"CON", L"PRN", L"AUX", L"NUL"})
    if (SameNoCase(stem, d)) return true;
  return stem.size() == 4 && (SameNoCase(stem.substr(0, 3), L"COM") || SameNoCase(stem.substr(0, 3), L"LPT")) &&
         stem[3] >= L'1' && stem[3] <= L'9';
}

}  // namespace

bool IsPlainFileName(std::wstring_view name) {
  if (name.empty()) return false;
  for (wchar_t c : name)
    if (c < 0x20 || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) return false;
  return !IsDeviceName(name);
}

}  // namespace qx::kestrin
