// Shared helpers of Morvid's window and process tests: scenario and journal files of the
// reader simulator, and reading Morvid's controls.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace morvid_test {

// Journal lines that begin with prefix (all calls for an empty prefix; comments skipped).
inline std::vector<std::string> JournalCalls(const std::wstring& journal,
                                             const std::string& prefix = "") {
  std::vector<std::string> out;
  for (const std::string& line : qx::test::SplitLines(qx::test::ReadText(journal)))
    if (!line.empty() && line[0] != '#' && line.compare(0, prefix.size(), prefix) == 0)
      out.push_back(line);
  return out;
}

inline std::wstring W(const char* utf8) { return qx::test::Wide(utf8); }

// The full path of a folder, so that it stays the same folder when the current folder
// changes (TempDir may name its folder relative to the current one).
inline std::wstring FullPath(const std::wstring& path) {
  wchar_t buf[MAX_PATH * 4];
  const DWORD n = ::GetFullPathNameW(path.c_str(), MAX_PATH * 4, buf, nullptr);
  return n > 0 && n < MAX_PATH * 4 ? std::wstring(buf, n) : path;
}

}  // namespace morvid_test
