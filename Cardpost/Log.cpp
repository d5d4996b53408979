// Cardpost's hourly log and the folder look-ups for its files.
#include "Log.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "card/Gbk.h"
#include "win/Text.h"

namespace {

constexpr char kConsoleKey[] = "Software\\Drelmoor\\QuorixConsole";
constexpr char kExePathValue[] = "ExePath";
constexpr DWORD kExePathBytes = 300;

// The part before the last backslash, or empty text when there is none.
std::string FolderOf(std::string_view path) {
  const size_t cut = qx::card::GbkLastBackslash(path);
  return cut == qx::card::kNpos ? std::string() : std::string(path.substr(0, cut));
}

std::tm LocalNow() {
  std::time_t now = std::time(nullptr);
  std::tm out{};
  if (const std::tm* t = std::localtime(&now)) out = *t;
  return out;
}

void AppendLine(const std::string& message) {
  std::string base = qx::card::TrimAnsi(GetConsoleDir());
  if (base.empty()) base = GetModuleDir();

  const std::tm hourNow = LocalNow();
  char hour[32] = {};
  std::strftime(hour, sizeof hour, "%Y-%m-%d_%H", &hourNow);
  const std::string dir = qx::win::Format("%s\\Logs\\%s", base.c_str(), hour);
  const std::string file =
      qx::win::Format("%s\\Logs\\%s\\{Cardpost}_{Tesmo_RK60}_{%s}.log", base.c_str(), hour, hour);

  // Only the hour's own folder is made; a missing Logs folder means no log at all.
  if (!::PathFileExistsA(dir.c_str())) ::CreateDirectoryA(dir.c_str(), nullptr);

  // Text mode: the platform's C library writes each "\n" as CR LF.
  std::FILE* f = std::fopen(file.c_str(), "a");
  if (!f) return;
  const std::tm lineNow = LocalNow();
  char stamp[32] = {};
  std::strftime(stamp, sizeof stamp, "%H:%M:%S %m/%d/%y\t", &lineNow);
  std::fputs(stamp, f);
  std::fwrite(message.data(), 1, message.size(), f);
  std::fputc('\n', f);
  std::fclose(f);
}

}  // namespace

void LogWrite(const char* format, ...) {
  try {
    va_list ap;
    va_start(ap, format);
    const std::string message = qx::win::FormatV(format, ap);
    va_end(ap);
    AppendLine(message);
  } catch (...) {
    // The log never fails towards its caller.
  }
}

std::string GetModuleDir() {
  if (g_ModuleDirCache.empty()) {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    // A truncated path may lack its terminator on older systems.
    g_ModuleDirCache = FolderOf(std::string_view(path, strnlen(path, MAX_PATH)));
  }
  return g_ModuleDirCache;
}

std::string GetConsoleDir() {
  if (!g_ConsoleDirCache.empty()) return g_ConsoleDirCache;
  HKEY key = nullptr;
  if (::RegOpenKeyA(HKEY_LOCAL_MACHINE, kConsoleKey, &key) != ERROR_SUCCESS) return {};
  // One zero byte more than the value may fill, so the text always ends.
  char value[kExePathBytes + 1] = {};
  DWORD size = kExePathBytes;
  DWORD type = 0;
  const LONG got = ::RegQueryValueExA(key, kExePathValue, nullptr, &type,
                                      reinterpret_cast<BYTE*>(value), &size);
  ::RegCloseKey(key);
  if (got != ERROR_SUCCESS) return {};
  // An empty result leaves the cache empty, so the next call looks again.
  g_ConsoleDirCache = FolderOf(value);
  return g_ConsoleDirCache;
}
