// Helpers for tests that drive real windows and processes under Wine.
#include "TestSupport.h"

#include "win/Text.h"
#include "win/Window.h"

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <iterator>
#include <map>

namespace qx::test {

void FlushEvents(DWORD ms) {
  DWORD start = ::GetTickCount();
  do {
    MSG m;
    while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      // As the programs' loops do: keys of a modeless dialog go to the dialog manager.
      if (qx::win::TranslateDialogMessage(m)) continue;
      ::TranslateMessage(&m);
      ::DispatchMessageW(&m);
    }
    if (ms) ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  } while (::GetTickCount() - start < ms);
}

bool WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs, DWORD stepMs) {
  DWORD start = ::GetTickCount();
  for (;;) {
    if (pred()) return true;
    if (::GetTickCount() - start >= timeoutMs) return pred();
    FlushEvents(stepMs);
  }
}

HWND WaitForWindow(const char* title, DWORD timeoutMs) {
  HWND h = nullptr;
  WaitUntil([&] { return (h = ::FindWindowA(nullptr, title)) != nullptr; }, timeoutMs);
  return h;
}

bool WaitForWindowGone(const char* title, DWORD timeoutMs) {
  return WaitUntil([&] { return ::FindWindowA(nullptr, title) == nullptr; }, timeoutMs);
}

std::wstring BinDir() {
  wchar_t path[MAX_PATH * 4];
  DWORD n = ::GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
  std::wstring s(path, n);
  return s.substr(0, s.find_last_of(L"\\/"));
}

TempDir::TempDir(const wchar_t* prefix) {
  wchar_t tmp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, tmp);
  static LONG counter = 0;
  for (;;) {
    wchar_t name[MAX_PATH * 2];
    swprintf(name, std::size(name), L"%ls%ls-%lu-%lu-%ld", tmp, prefix, ::GetCurrentProcessId(),
             ::GetTickCount(), ::InterlockedIncrement(&counter));
    if (::CreateDirectoryW(name, nullptr)) {
      path_ = name;
      break;
    }
  }
}

TempDir::~TempDir() { RemoveTree(path_); }

bool RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW fd;
  HANDLE f = ::FindFirstFileW((path + L"\\*").c_str(), &fd);
  if (f != INVALID_HANDLE_VALUE) {
    do {
      std::wstring n = fd.cFileName;
      if (n == L"." || n == L"..") continue;
      std::wstring p = path + L"\\" + n;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(p);
      } else {
        ::SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(p.c_str());
      }
    } while (::FindNextFileW(f, &fd));
    ::FindClose(f);
  }
  return ::RemoveDirectoryW(path.c_str()) != FALSE;
}

bool CopyFileTo(const std::wstring& from, const std::wstring& to) {
  return ::CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

std::optional<std::vector<uint8_t>> ReadBytes(const std::wstring& path) {
  HANDLE f = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE |
                           FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<uint8_t> out;
  uint8_t buf[65536];
  DWORD got = 0;
  while (::ReadFile(f, buf, sizeof buf, &got, nullptr) && got) out.insert(out.end(), buf, buf + got);
  ::CloseHandle(f);
  return out;
}

bool WriteBytes(const std::wstring& path, const void* data, size_t size) {
  HANDLE f = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  BOOL ok = size == 0 || ::WriteFile(f, data, static_cast<DWORD>(size), &put, nullptr);
  ::CloseHandle(f);
  return ok && put == size;
}

bool WriteText(const std::wstring& path, const std::string& bytes) {
  return WriteBytes(path, bytes.data(), bytes.size());
}

std::string ReadText(const std::wstring& path) {
  auto b = ReadBytes(path);
  return b ? std::string(b->begin(), b->end()) : std::string();
}

bool FileExists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::wstring> ListFiles(const std::wstring& folder, const std::wstring& pattern) {
  std::vector<std::wstring> out;
  WIN32_FIND_DATAW fd;
  HANDLE f = ::FindFirstFileW((folder + L"\\" + pattern).c_str(), &fd);
  if (f == INVALID_HANDLE_VALUE) return out;
  do {
    std::wstring n = fd.cFileName;
    if (n != L"." && n != L"..") out.push_back(n);
  } while (::FindNextFileW(f, &fd));
  ::FindClose(f);
  return out;
}

std::string Utf8(const std::wstring& w) { return qx::win::WideToUtf8(w); }
std::wstring Wide(const std::string& utf8) { return qx::win::Utf8ToWide(utf8); }
std::string Gbk(const std::string& utf8) { return qx::win::Utf8ToGbk(utf8); }
std::string GbkToUtf8(const std::string& gbk) { return qx::win::GbkToUtf8(gbk); }

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
    start = end + 1;
  }
  return out;
}

Process::~Process() {
  if (process_) {
    if (Running()) Kill();
    ::CloseHandle(process_);
  }
}

bool Process::Start(const std::wstring& cmdLine, const std::wstring& workDir,
                    const std::vector<std::pair<std::wstring, std::wstring>>& env,
                    const std::wstring& stdoutFile) {
  std::wstring block;
  if (!env.empty()) {
    // The parent's environment with the given variables replaced or added.
    wchar_t* cur = ::GetEnvironmentStringsW();
    for (wchar_t* p = cur; *p; p += wcslen(p) + 1) {
      std::wstring entry = p;
      bool replaced = false;
      for (auto& [k, v] : env)
        if (_wcsnicmp(entry.c_str(), (k + L"=").c_str(), k.size() + 1) == 0) replaced = true;
      if (!replaced) block += entry + L'\0';
    }
    ::FreeEnvironmentStringsW(cur);
    for (auto& [k, v] : env) block += k + L"=" + v + L'\0';
    block += L'\0';
  }
  STARTUPINFOW si{};
  si.cb = sizeof si;
  HANDLE out = nullptr;
  if (!stdoutFile.empty()) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    out = ::CreateFileW(stdoutFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                        CREATE_ALWAYS, 0, nullptr);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out;
    si.hStdError = out;
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  }
  PROCESS_INFORMATION pi{};
  std::wstring cl = cmdLine;
  BOOL ok = ::CreateProcessW(nullptr, cl.data(), nullptr, nullptr, out ? TRUE : FALSE,
                             env.empty() ? 0 : CREATE_UNICODE_ENVIRONMENT,
                             env.empty() ? nullptr : block.data(),
                             workDir.empty() ? nullptr : workDir.c_str(), &si, &pi);
  if (out) ::CloseHandle(out);
  if (!ok) return false;
  ::CloseHandle(pi.hThread);
  process_ = pi.hProcess;
  pid_ = pi.dwProcessId;
  return true;
}

std::optional<DWORD> Process::Wait(DWORD ms) {
  if (!process_) return std::nullopt;
  DWORD start = ::GetTickCount();
  for (;;) {
    DWORD left = ms - std::min<DWORD>(ms, ::GetTickCount() - start);
    DWORD r = ::MsgWaitForMultipleObjects(1, &process_, FALSE, left, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) break;
    if (r == WAIT_TIMEOUT) return std::nullopt;
    FlushEvents(0);
    if (::GetTickCount() - start >= ms) {
      if (::WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) return std::nullopt;
      break;
    }
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process_, &code);
  return code;
}

bool Process::Running() const {
  return process_ && ::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

void Process::Kill() {
  if (process_) {
    ::TerminateProcess(process_, 99);
    ::WaitForSingleObject(process_, 5000);
  }
}

namespace {
thread_local BoxWatcher* t_watcher = nullptr;
}

BoxWatcher::BoxWatcher(Answer answer) : prev_(t_watcher), answer_(std::move(answer)) {
  t_watcher = this;
  hook_ = ::SetWindowsHookExW(WH_CBT, &BoxWatcher::Hook, nullptr, ::GetCurrentThreadId());
}

BoxWatcher::~BoxWatcher() {
  if (hook_) ::UnhookWindowsHookEx(hook_);
  t_watcher = prev_;
}

std::wstring WindowTextOf(HWND h) {
  wchar_t buf[4096];
  int n = ::GetWindowTextW(h, buf, static_cast<int>(std::size(buf)));
  return std::wstring(buf, n > 0 ? n : 0);
}

std::wstring ClassNameOf(HWND h) {
  wchar_t buf[256];
  int n = ::GetClassNameW(h, buf, static_cast<int>(std::size(buf)));
  return std::wstring(buf, n > 0 ? n : 0);
}

LRESULT CALLBACK BoxWatcher::Hook(int code, WPARAM wp, LPARAM lp) {
  BoxWatcher* self = t_watcher;
  if (code == HCBT_ACTIVATE && self) {
    HWND box = reinterpret_cast<HWND>(wp);
    std::wstring cls = ClassNameOf(box);
    if (cls == L"#32770") {
      SeenBox seen;
      seen.caption = WindowTextOf(box);
      seen.className = cls;
      wchar_t text[4096];
      int n = ::GetDlgItemTextW(box, 0xFFFF, text, static_cast<int>(std::size(text)));
      seen.text.assign(text, n > 0 ? n : 0);
      seen.messageBox = ::GetDlgItem(box, 0xFFFF) != nullptr;
      self->seen_.push_back(seen);
      try {
        if (self->answer_)
          self->answer_(box, seen);
        else if (seen.messageBox)
          ::PostMessageW(box, WM_COMMAND, IDOK, 0);
      } catch (...) {
      }
    }
  }
  return ::CallNextHookEx(nullptr, code, wp, lp);
}

std::optional<int> RerunInFreshFolder(int argc, char** argv, const wchar_t* flagVar,
                                      const wchar_t* prefix,
                                      std::initializer_list<const wchar_t*> files) {
  wchar_t flag[8];
  if (::GetEnvironmentVariableW(flagVar, flag, 8) != 0) return std::nullopt;
  TempDir home(prefix);
  const std::wstring dir = home.path();
  wchar_t self[MAX_PATH * 4];
  const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
  const std::wstring selfPath(self, n);
  const std::wstring exe = dir + selfPath.substr(selfPath.find_last_of(L'\\'));
  if (!CopyFileTo(selfPath, exe)) return 2;
  for (const wchar_t* f : files)
    if (!CopyFileTo(BinDir() + L"\\" + f, dir + L"\\" + f)) return 2;
  std::wstring cmd = L"\"" + exe + L"\"";
  for (int i = 1; i < argc; ++i) cmd += L" \"" + Wide(argv[i]) + L"\"";
  Process child;
  const std::wstring out = dir + L"\\output.txt";
  if (!child.Start(cmd, dir, {{flagVar, L"1"}}, out)) return 2;
  const auto code = child.Wait(INFINITE);
  const std::string text = ReadText(out);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  return code ? static_cast<int>(*code) : 3;
}

namespace {
std::map<UINT_PTR, std::function<void()>>& Pending() {
  static std::map<UINT_PTR, std::function<void()>> pending;
  return pending;
}
void CALLBACK LaterTick(HWND, UINT, UINT_PTR id, DWORD) {
  ::KillTimer(nullptr, id);
  auto it = Pending().find(id);
  if (it == Pending().end()) return;
  std::function<void()> g = std::move(it->second);
  Pending().erase(it);
  g();
}
}  // namespace

void Later(UINT ms, std::function<void()> f) {
  const UINT_PTR id = ::SetTimer(nullptr, 0, ms, &LaterTick);
  Pending()[id] = std::move(f);
}

namespace {
// Wine's own path translations, exported by its kernel32; the results live on the process heap.
using UnixNameFn = char*(CDECL*)(const wchar_t*);
using DosNameFn = wchar_t*(CDECL*)(const char*);
template <typename F>
F WineExport(const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), name)));
}
std::wstring DosPath(const char* hostPath) {
  const auto dosName = WineExport<DosNameFn>("wine_get_dos_file_name");
  wchar_t* p = dosName ? dosName(hostPath) : nullptr;
  if (!p) return {};
  std::wstring out = p;
  ::HeapFree(::GetProcessHeap(), 0, p);
  return out;
}
}  // namespace

std::string HostPath(const std::wstring& windowsPath) {
  const auto unixName = WineExport<UnixNameFn>("wine_get_unix_file_name");
  char* p = unixName ? unixName(windowsPath.c_str()) : nullptr;
  if (!p) return {};
  std::string out = p;
  ::HeapFree(::GetProcessHeap(), 0, p);
  return out;
}

std::optional<HostResult> RunHostCommand(const std::string& command, DWORD ms) {
  TempDir dir(L"host");
  const std::string here = HostPath(dir.path());
  const std::wstring shell = DosPath("/bin/sh");
  if (here.empty() || shell.empty()) return std::nullopt;
  // The host program gets Wine's view of the environment; give it the host's usual one.
  const std::string run = "cd '" + here + "' || exit 1\n"
                          "export PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 LC_ALL=C.UTF-8\n"
                          "/bin/sh ./command.sh > out 2>&1 < /dev/null\n"
                          "echo $? > rc.tmp && mv rc.tmp rc\n";
  if (!WriteText(dir / L"command.sh", command + "\n") || !WriteText(dir / L"run.sh", run)) return std::nullopt;
  std::wstring cl = L"\"" + shell + L"\" \"" + Wide(here) + L"/run.sh\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(nullptr, cl.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return std::nullopt;
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  if (!WaitUntil([&] { return FileExists(dir / L"rc"); }, ms, 50)) return std::nullopt;
  HostResult r;
  r.code = std::atoi(ReadText(dir / L"rc").c_str());
  r.output = ReadText(dir / L"out");
  return r;
}

std::vector<SeenBox> BoxWatcher::messageBoxes() const {
  std::vector<SeenBox> out;
  for (const SeenBox& b : seen_)
    if (b.messageBox) out.push_back(b);
  return out;
}

std::wstring BoxTexts(const std::vector<SeenBox>& boxes) {
  std::wstring s;
  for (const SeenBox& b : boxes)
    if (b.messageBox) s += b.text + L"|";
  return s;
}

RegistryKeyCopy RegistryKeyCopy::Take(HKEY root, const std::wstring& path) {
  RegistryKeyCopy c;
  c.root_ = root;
  c.path_ = path;
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
    c.exists_ = true;
    c.node_ = Read(key, L"");
    ::RegCloseKey(key);
  }
  return c;
}

RegistryKeyCopy::Node RegistryKeyCopy::Read(HKEY key, const std::wstring& name) {
  Node node;
  node.name = name;
  DWORD subkeys = 0, maxKey = 0, values = 0, maxName = 0, maxData = 0;
  if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &maxKey, nullptr, &values, &maxName,
                         &maxData, nullptr, nullptr) != ERROR_SUCCESS)
    return node;
  for (DWORD i = 0; i < values; ++i) {
    std::vector<wchar_t> valueName(maxName + 2);
    DWORD nameLen = static_cast<DWORD>(valueName.size());
    Value v;
    v.bytes.resize(maxData + 2);
    DWORD size = static_cast<DWORD>(v.bytes.size());
    if (::RegEnumValueW(key, i, valueName.data(), &nameLen, nullptr, &v.type, v.bytes.data(), &size) !=
        ERROR_SUCCESS)
      continue;
    v.name.assign(valueName.data(), nameLen);
    v.bytes.resize(size);
    node.values.push_back(std::move(v));
  }
  for (DWORD i = 0; i < subkeys; ++i) {
    std::vector<wchar_t> keyName(maxKey + 2);
    DWORD nameLen = static_cast<DWORD>(keyName.size());
    if (::RegEnumKeyExW(key, i, keyName.data(), &nameLen, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      continue;
    const std::wstring sub(keyName.data(), nameLen);
    HKEY child = nullptr;
    if (::RegOpenKeyExW(key, sub.c_str(), 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
    node.keys.push_back(Read(child, sub));
    ::RegCloseKey(child);
  }
  // In name order, so that copies compare whatever order the registry lists them in.
  std::sort(node.values.begin(), node.values.end(), [](const Value& a, const Value& b) { return a.name < b.name; });
  std::sort(node.keys.begin(), node.keys.end(), [](const Node& a, const Node& b) { return a.name < b.name; });
  return node;
}

bool RegistryKeyCopy::Write(HKEY key, const Node& node) {
  bool ok = true;
  for (const Value& v : node.values)
    ok &= ::RegSetValueExW(key, v.name.c_str(), 0, v.type, v.bytes.data(), static_cast<DWORD>(v.bytes.size())) ==
          ERROR_SUCCESS;
  for (const Node& sub : node.keys) {
    HKEY child = nullptr;
    if (::RegCreateKeyExW(key, sub.name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr) !=
        ERROR_SUCCESS) {
      ok = false;
      continue;
    }
    ok &= Write(child, sub);
    ::RegCloseKey(child);
  }
  return ok;
}

bool RegistryKeyCopy::Restore() const {
  if (!root_) return false;
  const LONG removed = ::RegDeleteTreeW(root_, path_.c_str());
  if (removed == ERROR_SUCCESS) ::RegDeleteKeyW(root_, path_.c_str());
  if (!exists_) return true;
  HKEY key = nullptr;
  if (::RegCreateKeyExW(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return false;
  const bool ok = Write(key, node_);
  ::RegCloseKey(key);
  return ok;
}

bool RegistryKeyCopy::operator==(const RegistryKeyCopy& o) const {
  return exists_ == o.exists_ && (!exists_ || node_ == o.node_);
}

}  // namespace qx::test
