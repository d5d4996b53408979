// Helpers of the simulator tests under Wine: temp folders, files, environment, DLLs, child processes.
#include "SimTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>

#include "win/Text.h"

namespace simtest {

namespace {

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/")); }

}  // namespace

std::wstring BinDir() {
  wchar_t buf[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH * 4);
  return FolderOf(std::wstring(buf, n));
}

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  wchar_t base[MAX_PATH];
  GetTempPathW(MAX_PATH, base);
  path_ = std::wstring(base) + L"qx-readersim-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
          std::to_wstring(++counter) + L"-" + std::to_wstring(GetTickCount());
  if (!path_.empty() && path_.back() == L'\\') path_.pop_back();
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::wstring TempDir::Sub(std::wstring_view name) const {
  const std::wstring p = *this / name;
  std::filesystem::create_directories(p);
  return p;
}

void WriteBytes(const std::wstring& path, const void* data, std::size_t size) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE) << GetLastError();
  DWORD written = 0;
  if (size > 0) WriteFile(f, data, static_cast<DWORD>(size), &written, nullptr);
  CloseHandle(f);
  ASSERT_EQ(written, size);
}

void WriteText(const std::wstring& path, std::string_view utf8) { WriteBytes(path, utf8.data(), utf8.size()); }

std::vector<std::uint8_t> ReadBytes(const std::wstring& path) {
  std::vector<std::uint8_t> out;
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return out;
  std::uint8_t buf[65536];
  DWORD got = 0;
  while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got > 0) out.insert(out.end(), buf, buf + got);
  CloseHandle(f);
  return out;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::string> ReadLines(const std::wstring& path) {
  const std::vector<std::uint8_t> bytes = ReadBytes(path);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(text.find('\r'), std::string::npos);
  if (!text.empty()) {
    EXPECT_EQ(text.back(), '\n') << "last line not complete";
  }
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

void TouchLater(const std::wstring& path, int seconds) {
  HANDLE f = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  FILETIME t;
  GetFileTime(f, nullptr, nullptr, &t);
  ULARGE_INTEGER u;
  u.LowPart = t.dwLowDateTime;
  u.HighPart = t.dwHighDateTime;
  u.QuadPart += static_cast<ULONGLONG>(seconds) * 10000000ULL;
  t.dwLowDateTime = u.LowPart;
  t.dwHighDateTime = u.HighPart;
  SetFileTime(f, nullptr, nullptr, &t);
  CloseHandle(f);
}

std::string AnsiFromWide(std::wstring_view text) { return qx::win::WideToMulti(text); }

std::string Utf8FromWide(std::wstring_view text) { return qx::win::WideToUtf8(text); }

EnvVar::EnvVar(const wchar_t* name, const std::wstring& value) : name_(name) {
  wchar_t buf[32768];
  const DWORD n = GetEnvironmentVariableW(name, buf, 32768);
  had_ = n > 0;
  if (had_) old_.assign(buf, n);
  SetEnvironmentVariableW(name, value.c_str());
}

EnvVar::EnvVar(const wchar_t* name, std::nullptr_t) : name_(name) {
  wchar_t buf[32768];
  const DWORD n = GetEnvironmentVariableW(name, buf, 32768);
  had_ = n > 0;
  if (had_) old_.assign(buf, n);
  SetEnvironmentVariableW(name, nullptr);
}

EnvVar::~EnvVar() { SetEnvironmentVariableW(name_.c_str(), had_ ? old_.c_str() : nullptr); }

Library::Library(const std::wstring& path) {
  module_ = LoadLibraryW(path.c_str());
  EXPECT_NE(module_, nullptr) << "LoadLibrary failed: " << GetLastError();
}

Library::~Library() {
  if (module_ != nullptr) FreeLibrary(module_);
}

std::vector<std::string> ExportNames(HMODULE module) {
  std::vector<std::string> names;
  const auto* base = reinterpret_cast<const BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (dir.VirtualAddress == 0) return names;
  const auto* exp = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  const auto* nameRvas = reinterpret_cast<const DWORD*>(base + exp->AddressOfNames);
  for (DWORD i = 0; i < exp->NumberOfNames; ++i) names.emplace_back(reinterpret_cast<const char*>(base + nameRvas[i]));
  EXPECT_EQ(exp->NumberOfFunctions, exp->NumberOfNames) << "exports without a name";
  std::sort(names.begin(), names.end());
  return names;
}

DWORD RunChild(const std::wstring& exe, const std::wstring& args, const std::wstring& folder, DWORD timeoutMs) {
  std::wstring command = L"\"" + exe + L"\" " + args;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
    ADD_FAILURE() << "CreateProcess failed: " << GetLastError();
    return ~0u;
  }
  DWORD code = ~0u;
  if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) {
    GetExitCodeProcess(pi.hProcess, &code);
  } else {
    TerminateProcess(pi.hProcess, 1);
    ADD_FAILURE() << "child did not end in time";
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

std::wstring CallerExe() { return BinDir() + L"\\reader_sim_caller.exe"; }

}  // namespace simtest
