// Helpers for tests that drive real windows and processes under Wine.
#pragma once
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace qx::test {

// Pumps this thread's messages for up to ms milliseconds (and at least once).
void FlushEvents(DWORD ms = 50);
// Pumps messages until pred() holds or timeoutMs passes; returns pred()'s last value.
bool WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs, DWORD stepMs = 20);
// FindWindowA by title, retried until timeoutMs.
HWND WaitForWindow(const char* title, DWORD timeoutMs);
bool WaitForWindowGone(const char* title, DWORD timeoutMs);

// Folder of the running test executable (the build's bin folder), no trailing backslash.
std::wstring BinDir();

// A fresh folder under the temporary folder, removed with everything in it at the end.
class TempDir {
 public:
  explicit TempDir(const wchar_t* prefix = L"qx");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::wstring& path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

bool RemoveTree(const std::wstring& path);
bool CopyFileTo(const std::wstring& from, const std::wstring& to);
std::optional<std::vector<uint8_t>> ReadBytes(const std::wstring& path);
bool WriteBytes(const std::wstring& path, const void* data, size_t size);
bool WriteText(const std::wstring& path, const std::string& bytes);
std::string ReadText(const std::wstring& path);  // bytes as they are; empty when missing
bool FileExists(const std::wstring& path);
std::vector<std::wstring> ListFiles(const std::wstring& folder, const std::wstring& pattern = L"*");

std::string Utf8(const std::wstring& w);
std::wstring Wide(const std::string& utf8);
std::string Gbk(const std::string& utf8);       // UTF-8 -> code page 936 bytes
std::string GbkToUtf8(const std::string& gbk);  // code page 936 bytes -> UTF-8
std::vector<std::string> SplitLines(const std::string& text);  // on LF, CR dropped

// A registry key as it stands, with its values and subkeys, to be put back exactly: tests
// that change a key of the machine take one first and restore it at their end.
class RegistryKeyCopy {
 public:
  static RegistryKeyCopy Take(HKEY root, const std::wstring& path);
  // Removes the key as it is now and lays the copy again (nothing, when it did not exist).
  bool Restore() const;
  bool exists() const { return exists_; }
  bool operator==(const RegistryKeyCopy& o) const;
  bool operator!=(const RegistryKeyCopy& o) const { return !(*this == o); }

 private:
  struct Value {
    std::wstring name;
    DWORD type = REG_NONE;
    std::vector<uint8_t> bytes;
    bool operator==(const Value& o) const { return name == o.name && type == o.type && bytes == o.bytes; }
  };
  struct Node {
    std::wstring name;
    std::vector<Value> values;
    std::vector<Node> keys;
    bool operator==(const Node& o) const { return name == o.name && values == o.values && keys == o.keys; }
  };
  static Node Read(HKEY key, const std::wstring& name);
  static bool Write(HKEY parent, const Node& node);

  HKEY root_ = nullptr;
  std::wstring path_;
  bool exists_ = false;
  Node node_;
};

// Runs f from this thread's message loop (a modal one too) ms from now.
void Later(UINT ms, std::function<void()> f);

// Tests that need a program folder of their own (files beside the executable, an ini file)
// run again from a fresh temporary folder holding a copy of this program and of the named
// files of BinDir(). Gives the copy's exit code, or nothing when this already is the copy
// (flagVar set), which then runs its tests.
std::optional<int> RerunInFreshFolder(int argc, char** argv, const wchar_t* flagVar,
                                      const wchar_t* prefix,
                                      std::initializer_list<const wchar_t*> files);

// A child process; killed at the end if it still runs.
class Process {
 public:
  Process() = default;
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  // cmdLine is the whole command line (program quoted by the caller if needed).
  bool Start(const std::wstring& cmdLine, const std::wstring& workDir = L"",
             const std::vector<std::pair<std::wstring, std::wstring>>& env = {},
             const std::wstring& stdoutFile = L"");
  // Exit code, or nullopt when it still runs after ms.
  std::optional<DWORD> Wait(DWORD ms);
  bool Running() const;
  void Kill();
  DWORD pid() const { return pid_; }

 private:
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
};

// A path of the host (Linux) file system for a Windows path under Wine; empty when Wine
// does not translate it (or this is not Wine).
std::string HostPath(const std::wstring& windowsPath);

// Runs a command of the host's shell (/bin/sh -c) from a test under Wine, for tools that
// read the product's files independently (python3, pdftotext). Wine starts host programs but
// neither waits for them nor reports their exit code, so the command reports both through
// files. Gives the exit code and the output (stdout, then stderr), or nothing when it did not
// finish within ms.
struct HostResult {
  int code = -1;
  std::string output;
};
std::optional<HostResult> RunHostCommand(const std::string& command, DWORD ms = 60000);

// Watches message boxes and dialogs that this thread (or, with a global thread id, any
// thread of this process) activates, through a WH_CBT hook, and answers them.
// Every activation of a dialog is seen, a window's own dialogs too: a dialog becomes active
// again when a dialog or box that it owned closes (under Wine, when the X server's focus
// event comes, so before or after the next box), and that is no new message box.
struct SeenBox {
  std::wstring caption;
  std::wstring text;   // static 0xFFFF of a message box; empty for other dialogs
  std::wstring className;
  bool messageBox = false;  // the dialog has the static 0xFFFF
};
// The texts of the message boxes seen, each followed by "|", for one readable comparison;
// other dialogs are left out.
std::wstring BoxTexts(const std::vector<SeenBox>& boxes);

class BoxWatcher {
 public:
  // answer(box hwnd, seen) is called at HCBT_ACTIVATE of every dialog; by default it presses
  // IDOK on message boxes and leaves other dialogs alone.
  using Answer = std::function<void(HWND, const SeenBox&)>;
  explicit BoxWatcher(Answer answer = {});
  ~BoxWatcher();
  BoxWatcher(const BoxWatcher&) = delete;
  BoxWatcher& operator=(const BoxWatcher&) = delete;
  std::vector<SeenBox> seen() const { return seen_; }
  std::vector<SeenBox> messageBoxes() const;

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp);
  HHOOK hook_ = nullptr;
  BoxWatcher* prev_ = nullptr;
  Answer answer_;
  std::vector<SeenBox> seen_;
};

std::wstring WindowTextOf(HWND h);
std::wstring ClassNameOf(HWND h);

}  // namespace qx::test
