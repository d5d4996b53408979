// Platform side shared by the three simulator DLLs: paths, files, the journal, scenario reloads, the fault.
#include "SimHost.h"

#include "card/Gbk.h"
#include "win/Text.h"

namespace qx::readersim::host {

namespace {

std::wstring FolderOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring ModulePath(HMODULE module) {
  std::wstring buf(32768, L'\0');
  const DWORD n = GetModuleFileNameW(module, &buf[0], static_cast<DWORD>(buf.size()));
  buf.resize(n < buf.size() ? n : 0);
  return buf;
}

std::wstring EnvOr(const wchar_t* name, const wchar_t* fileInModuleDir) {
  wchar_t buf[32768];
  const DWORD n = GetEnvironmentVariableW(name, buf, 32768);
  if (n > 0 && n < 32768) return std::wstring(buf, n);
  return ModuleDir() + L"\\" + fileInModuleDir;
}

struct FileStamp {
  std::wstring path;
  bool exists = false;
  ULONGLONG size = 0;
  FILETIME written{};

  bool operator==(const FileStamp& o) const {
    return path == o.path && exists == o.exists && size == o.size &&
           written.dwLowDateTime == o.written.dwLowDateTime &&
           written.dwHighDateTime == o.written.dwHighDateTime;
  }
};

FileStamp StampOf(const std::wstring& path) {
  FileStamp s;
  s.path = path;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
      !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    s.exists = true;
    s.size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    s.written = data.ftLastWriteTime;
  }
  return s;
}

void AppendLine(const std::string& line) {
  const std::wstring path = JournalPath();
  // Opened and closed per line, so every line is on disk before the call returns, also
  // when the next thing the library does is fault.
  HANDLE f = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(f);
}

constexpr std::size_t kMaxScenarioBytes = 4 * 1024 * 1024;

struct LibraryState {
  std::mutex mutex;
  ReaderModel model;
  bool loaded = false;
  FileStamp stamp;

  // Reads the scenario again when its path, size or last-write time changed.
  void Refresh() {
    const std::wstring path = ScenarioPath();
    const FileStamp now = StampOf(path);
    if (loaded && now == stamp) return;
    Scenario scenario;
    if (now.exists) {
      const auto bytes = ReadFileBytes(path, kMaxScenarioBytes);
      if (!bytes) return;  // being written: try again at the next call
      scenario = ParseScenario(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    }
    for (const std::string& w : scenario.warnings) AppendLine("# scenario " + win::WideToUtf8(path) + " " + w);
    model.Load(std::move(scenario));
    stamp = now;
    loaded = true;
  }
};

LibraryState& State() {
  static LibraryState state;
  return state;
}

}  // namespace

std::wstring ModuleDir() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ModuleDir), &self);
  return FolderOf(ModulePath(self));
}

std::wstring ExeDir() { return FolderOf(ModulePath(nullptr)); }

std::wstring ScenarioPath() { return EnvOr(L"QX_READER_SCENARIO", L"reader-scenario.ini"); }

std::wstring JournalPath() { return EnvOr(L"QX_READER_JOURNAL", L"reader-journal.txt"); }

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::wstring& path, std::size_t maxBytes) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<std::uint8_t> out;
  std::uint8_t buf[65536];
  bool ok = true;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(f, buf, sizeof buf, &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    const std::size_t room = maxBytes - out.size();
    out.insert(out.end(), buf, buf + (got < room ? got : room));
    if (out.size() >= maxBytes) break;
  }
  CloseHandle(f);
  if (!ok) return std::nullopt;
  return out;
}

bool WriteFileBytes(const std::wstring& path, const void* data, std::size_t size) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = size == 0 || WriteFile(f, data, static_cast<DWORD>(size), &written, nullptr);
  const BOOL closed = CloseHandle(f);
  return ok && closed && written == size;
}

bool DeleteFileIfThere(const std::wstring& path) {
  return DeleteFileW(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

std::string GbkFromUtf8(std::string_view text, std::size_t maxBytes) {
  return std::string(card::GbkPrefix(win::Utf8ToGbk(text), maxBytes));
}

std::optional<std::string_view> CallerText(const char* text, std::size_t maxBytes) {
  if (text == nullptr) return std::nullopt;
  // Byte by byte, so that nothing past the terminator is touched.
  for (std::size_t i = 0; i < maxBytes; ++i) {
    if (text[i] == '\0') return std::string_view(text, i);
  }
  return std::nullopt;
}

void __attribute__((noinline)) RaiseAccessViolation() {
  // Both the pointer and the store are volatile: otherwise the compiler drops the store
  // (a null write is undefined) or turns it into a trap (an illegal-instruction fault).
  volatile int* volatile target = nullptr;
  *target = 0;
}

Session::Session() : lock_(State().mutex) { State().Refresh(); }

ReaderModel& Session::model() { return State().model; }

void Session::Journal(const std::string& call, const Outcome& o, bool hex) {
  JournalText(call, o.fault ? std::string("fault") : hex ? HexResult(o.result) : DecimalResult(o.result));
}

void Session::JournalText(const std::string& call, std::string_view result) {
  AppendLine(call + " = " + std::string(result));
}

}  // namespace qx::readersim::host
