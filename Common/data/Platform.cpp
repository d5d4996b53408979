// The platform seam of the data layer: paths from the program's 8-bit texts.
#include "data/DataLink.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace qx::data {

std::filesystem::path PathFromUtf8(std::string_view s) {
  return std::filesystem::u8path(s.begin(), s.end());
}

std::string PathToUtf8(const std::filesystem::path& p) { return p.u8string(); }

#ifdef _WIN32
std::filesystem::path PathFromNative8(std::string_view s) {
  if (s.empty()) return {};
  int n = ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(n > 0 ? n : 0, L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return std::filesystem::path(w);
}
#else
std::filesystem::path PathFromNative8(std::string_view s) { return PathFromUtf8(s); }
#endif

}  // namespace qx::data
