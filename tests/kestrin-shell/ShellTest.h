// Shared helpers of the desk shell's tests: windows of another process found by class and
// title, their texts, message boxes answered from outside, the reader journal and the
// numbers the desk logged.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "data/Connection.h"
#include "data/Query.h"

namespace kshell_test {

inline std::wstring W(const char* utf8) { return qx::test::Wide(utf8); }

inline std::wstring FullPath(const std::wstring& path) {
  wchar_t buf[MAX_PATH * 4];
  const DWORD n = ::GetFullPathNameW(path.c_str(), MAX_PATH * 4, buf, nullptr);
  return n > 0 && n < MAX_PATH * 4 ? std::wstring(buf, n) : path;
}

inline DWORD PidOf(HWND w) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(w, &pid);
  return pid;
}

// The top-level window of the class (and title, when given) that belongs to pid.
inline HWND FindOf(DWORD pid, const wchar_t* cls, const wchar_t* title = nullptr) {
  HWND w = nullptr;
  while ((w = ::FindWindowExW(nullptr, w, cls, title)) != nullptr)
    if (PidOf(w) == pid) return w;
  return nullptr;
}

// Text of a window of any process, through a message the platform carries across.
inline std::wstring RemoteText(HWND w) {
  wchar_t buf[1024] = {};
  DWORD_PTR got = 0;
  if (!::SendMessageTimeoutW(w, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, &got))
    return L"<no answer>";
  return std::wstring(buf, got < 1024 ? got : 1023);
}

inline LRESULT RemoteSend(HWND w, UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
  DWORD_PTR r = 0;
  ::SendMessageTimeoutW(w, msg, wp, lp, SMTO_ABORTIFHUNG, 5000, &r);
  return static_cast<LRESULT>(r);
}

// Text of a panel of another process's status bar: SB_GETTEXTW carries a pointer, so its
// buffer lives in the target process.
inline std::wstring RemotePanelText(HWND bar, int index) {
  HANDLE proc = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, PidOf(bar));
  if (!proc) return L"<no process>";
  constexpr SIZE_T kChars = 1024;
  std::wstring text;
  if (void* remote = ::VirtualAllocEx(proc, nullptr, kChars * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE)) {
    const LRESULT r = RemoteSend(bar, SB_GETTEXTLENGTHW, index);
    const size_t n = LOWORD(r);
    if (n < kChars) {
      RemoteSend(bar, SB_GETTEXTW, index, reinterpret_cast<LPARAM>(remote));
      std::wstring buf(n, L'\0');
      SIZE_T got = 0;
      if (n == 0 || ::ReadProcessMemory(proc, remote, buf.data(), n * sizeof(wchar_t), &got)) text = buf;
    }
    ::VirtualFreeEx(proc, remote, 0, MEM_RELEASE);
  }
  ::CloseHandle(proc);
  return text;
}

struct Box {
  std::wstring caption;
  std::wstring text;
};

// A message box of pid: a dialog with the static text 0xFFFF; null when none is up.
inline HWND MessageBoxOf(DWORD pid) {
  HWND w = nullptr;
  while ((w = ::FindWindowExW(nullptr, w, L"#32770", nullptr)) != nullptr)
    if (PidOf(w) == pid && ::GetDlgItem(w, 0xFFFF) && ::IsWindowVisible(w)) return w;
  return nullptr;
}

// Reads the box once its text is up and presses OK.
inline Box AnswerBox(HWND box) {
  Box b;
  qx::test::WaitUntil([&] { return !(b.text = RemoteText(::GetDlgItem(box, 0xFFFF))).empty(); }, 5000);
  b.caption = RemoteText(box);
  ::PostMessageW(box, WM_COMMAND, IDOK, 0);
  qx::test::WaitUntil([&] { return !::IsWindow(box) || !::IsWindowVisible(box); }, 5000);
  return b;
}

// Kestrin's program folder of its own, and the reader simulator's scenario and journal in
// another, for tests that run Kestrin.exe as a process.
class DeskFolders {
 public:
  explicit DeskFolders(const std::wstring& prefix)
      : appOwner_((prefix + L"-app").c_str()), simOwner_((prefix + L"-sim").c_str()) {}

 protected:
  bool Start(qx::test::Process& p) const {
    return p.Start(L"\"" + app_ + L"\\Kestrin.exe\"", app_,
                   {{L"QX_READER_SCENARIO", scenario_}, {L"QX_READER_JOURNAL", journal_}});
  }

  qx::test::TempDir appOwner_;
  qx::test::TempDir simOwner_;
  std::wstring app_ = FullPath(appOwner_.path());
  std::wstring sim_ = FullPath(simOwner_.path());
  std::wstring scenario_ = sim_ + L"\\scenario.ini";
  std::wstring journal_ = sim_ + L"\\journal.txt";
};

// Journal lines of the reader simulators that begin with prefix (comments skipped).
inline std::vector<std::string> JournalCalls(const std::wstring& journal, const std::string& prefix = "SDT_") {
  std::vector<std::string> out;
  for (const std::string& line : qx::test::SplitLines(qx::test::ReadText(journal)))
    if (!line.empty() && line[0] != '#' && line.compare(0, prefix.size(), prefix) == 0) out.push_back(line);
  return out;
}

// Reader scenarios for the simulators: each in a new file (the simulators read a file they
// have not seen anew), the journal beside them in a folder of the process.
inline qx::test::TempDir& ScenarioDir() {
  static qx::test::TempDir dir(L"ksim");
  return dir;
}
inline std::wstring JournalPath() { return ScenarioDir() / L"journal.txt"; }
inline void SetScenario(const std::string& utf8) {
  static int counter = 0;
  const std::wstring path = ScenarioDir() / (L"scenario" + std::to_wstring(++counter) + L".ini");
  ASSERT_TRUE(qx::test::WriteText(path, utf8));
  ::SetEnvironmentVariableW(L"QX_READER_SCENARIO", path.c_str());
  ::SetEnvironmentVariableW(L"QX_READER_JOURNAL", JournalPath().c_str());
}
// A [card] section (UTF-8 texts) and a [reader] holding cards.
inline std::string Card(const char* name, const char* id, const char* sex = "1", const char* validEnd = "长期",
                        const char* address = "北京市东城区景山前街4号故宫博物院内", const char* birth = "19800101") {
  return std::string("[card]\nname = ") + name + "\nsex = " + sex + "\nnation = 01\nbirth = " + birth +
         "\naddress = " + address + "\nid = " + id + "\nauthority = 北京市公安局东城分局\nvalid_start = 20060101\nvalid_end = " +
         validEnd + "\n";
}
inline std::string Reader(const std::string& cards, const char* present = "always") {
  return std::string("[reader]\nports = 1\npresent = ") + present + "\n" + cards;
}

// The identity numbers in TLog of the desk in folder (which ends in "\\"), in the order they
// were logged, read through a connection of the test's own.
inline std::vector<std::string> LoggedIds(const std::wstring& folder) {
  qx::data::Connection c;
  c.SetConnectionString("FILE NAME=" + qx::test::Utf8(folder) + "DBLink.udl");
  c.Open();
  qx::data::Query q(&c, qx::data::CursorKind::Static);
  q.SetSql("select FNo from TLog order by FId");
  q.Open();
  std::vector<std::string> ids;
  for (q.First(); !q.Eof(); q.Next()) ids.push_back(q.FieldByName("FNo").AsString());
  return ids;
}

inline std::string Join(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\n";
  return s;
}

}  // namespace kshell_test
