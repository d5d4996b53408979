// Helpers of the simulator tests under Wine: temp folders, files, environment, DLLs, child processes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace simtest {

// Folder of the test executable, where the simulator DLLs are built too.
std::wstring BinDir();

// A fresh folder under the temp folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::wstring& path() const { return path_; }
  std::wstring operator/(std::wstring_view name) const { return path_ + L"\\" + std::wstring(name); }
  std::wstring Sub(std::wstring_view name) const;  // created

 private:
  std::wstring path_;
};

void WriteBytes(const std::wstring& path, const void* data, std::size_t size);
void WriteText(const std::wstring& path, std::string_view utf8);
std::vector<std::uint8_t> ReadBytes(const std::wstring& path);
bool Exists(const std::wstring& path);
// The journal's lines; checks that it ends with LF and has no CR.
std::vector<std::string> ReadLines(const std::wstring& path);
// Moves the last-write time forward, for a rewrite that keeps the size.
void TouchLater(const std::wstring& path, int seconds);

std::string AnsiFromWide(std::wstring_view text);
std::string Utf8FromWide(std::wstring_view text);

// Sets an environment variable for the life of the object.
class EnvVar {
 public:
  EnvVar(const wchar_t* name, const std::wstring& value);
  EnvVar(const wchar_t* name, std::nullptr_t);  // unset
  ~EnvVar();
  EnvVar(const EnvVar&) = delete;
  EnvVar& operator=(const EnvVar&) = delete;

 private:
  std::wstring name_;
  bool had_ = false;
  std::wstring old_;
};

// Points the simulators at a scenario and a journal in a temp folder.
class SimFiles {
 public:
  explicit SimFiles(const TempDir& dir)
      : scenario(dir / L"scenario.ini"),
        journal(dir / L"journal.txt"),
        scenarioVar_(L"QX_READER_SCENARIO", scenario),
        journalVar_(L"QX_READER_JOURNAL", journal) {}
  void Scenario(std::string_view utf8) const { WriteText(scenario, utf8); }
  std::vector<std::string> Journal() const { return ReadLines(journal); }

  const std::wstring scenario;
  const std::wstring journal;

 private:
  EnvVar scenarioVar_;
  EnvVar journalVar_;
};

// A library loaded by path for one test, freed at the end (so its state starts afresh).
class Library {
 public:
  explicit Library(const std::wstring& path);
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  HMODULE handle() const { return module_; }
  template <class F>
  F Get(const char* name) const {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_ = nullptr;
};

// Names in a loaded module's export table, sorted.
std::vector<std::string> ExportNames(HMODULE module);

// Runs a program with arguments in a folder; its exit code, or ~0u when it did not end in time.
DWORD RunChild(const std::wstring& exe, const std::wstring& args, const std::wstring& folder,
               DWORD timeoutMs = 60000);
// The caller child: reader_sim_caller.exe, which loads a DLL and makes the calls named.
std::wstring CallerExe();

}  // namespace simtest
