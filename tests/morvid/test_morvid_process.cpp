// Morvid.exe run as the program it is, pressed from this process: the port closed once at
// the end, a missing reader library or entry point ending it through a message box, and
// the latest-address file looked up in the current folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MainForm.h"
#include "MorvidTest.h"
#include "TestSupport.h"

using namespace qx::test;
using morvid_test::JournalCalls;

namespace {

const DWORD kWaitMs = 15000;

DWORD PidOf(HWND w) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(w, &pid);
  return pid;
}

// The top-level window of the class (and title, when given) that belongs to pid.
HWND FindOf(DWORD pid, const wchar_t* cls, const wchar_t* title) {
  HWND w = nullptr;
  while ((w = ::FindWindowExW(nullptr, w, cls, title)) != nullptr)
    if (PidOf(w) == pid) return w;
  return nullptr;
}

HWND WaitForMorvid(const Process& p) {
  HWND w = nullptr;
  WaitUntil([&] {
    w = FindOf(p.pid(), qx::morvid::kMainFormClass, nullptr);
    return w && ::IsWindowVisible(w);
  }, kWaitMs);
  return w && ::IsWindowVisible(w) ? w : nullptr;
}

// Text of a window of another process, through a message the platform carries across.
std::wstring RemoteText(HWND w) {
  wchar_t buf[1024] = {};
  DWORD_PTR got = 0;
  ::SendMessageTimeoutW(w, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, &got);
  return std::wstring(buf, got < 1024 ? got : 1023);
}

// Waits for Morvid's run-time error box, returns its text and presses OK.
std::wstring AnswerRunTimeBox(const Process& p, bool* formVisible = nullptr) {
  HWND box = nullptr;
  WaitUntil([&] { return (box = FindOf(p.pid(), L"#32770", L"Morvid")) != nullptr; }, kWaitMs);
  if (!box) return L"<no box>";
  // The box is up once its text is.
  std::wstring text;
  WaitUntil([&] { return !(text = RemoteText(::GetDlgItem(box, 0xFFFF))).empty(); }, kWaitMs);
  if (formVisible) {
    HWND form = FindOf(p.pid(), qx::morvid::kMainFormClass, nullptr);
    *formVisible = form && ::IsWindowVisible(form);
  }
  ::PostMessageW(box, WM_COMMAND, IDOK, 0);
  return text;
}

class MorvidProcess : public ::testing::Test {
 protected:
  std::vector<std::pair<std::wstring, std::wstring>> Env() const {
    return {{L"QX_READER_SCENARIO", scenario_}, {L"QX_READER_JOURNAL", journal_}};
  }
  static std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

  TempDir dirOwner_{L"morvid-proc"};
  TempDir workOwner_{L"morvid-work"};
  std::wstring dir_ = morvid_test::FullPath(dirOwner_.path());
  std::wstring work_ = morvid_test::FullPath(workOwner_.path());
  std::wstring scenario_ = dir_ + L"\\scenario.ini";
  std::wstring journal_ = dir_ + L"\\journal.txt";
};

TEST_F(MorvidProcess, EndButtonClosesThePortOnceAndEnds) {
  ASSERT_TRUE(WriteText(scenario_, "[reader]\nports = 1003\n"));
  Process p;
  ASSERT_TRUE(p.Start(Quoted(BinDir() + L"\\Morvid.exe"), work_, Env()));
  HWND form = WaitForMorvid(p);
  ASSERT_NE(form, nullptr);
  ::PostMessageW(::GetDlgItem(form, IDC_ENDCMD), BM_CLICK, 0, 0);
  const auto code = p.Wait(kWaitMs);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 0u);
  const std::vector<std::string> calls = JournalCalls(journal_);
  EXPECT_EQ(JournalCalls(journal_, "CloseComm"), (std::vector<std::string>{"CloseComm() = 1"}));
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back(), "CloseComm() = 1");
}

TEST_F(MorvidProcess, ClosingTheWindowClosesThePortOnceAndEnds) {
  ASSERT_TRUE(WriteText(scenario_, "[reader]\nports = 3\n"));
  Process p;
  ASSERT_TRUE(p.Start(Quoted(BinDir() + L"\\Morvid.exe"), work_, Env()));
  HWND form = WaitForMorvid(p);
  ASSERT_NE(form, nullptr);
  ::PostMessageW(form, WM_CLOSE, 0, 0);
  const auto code = p.Wait(kWaitMs);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 0u);
  EXPECT_EQ(JournalCalls(journal_, "CloseComm"), (std::vector<std::string>{"CloseComm() = 1"}));
}

TEST_F(MorvidProcess, MissingReaderLibraryEndsThroughAMessageBox) {
  // The program alone in a folder of its own, started there: no termb.dll anywhere it looks.
  const std::wstring exe = work_ + L"\\Morvid.exe";
  ASSERT_TRUE(CopyFileTo(BinDir() + L"\\Morvid.exe", exe));
  Process p;
  ASSERT_TRUE(p.Start(Quoted(exe), work_, Env()));
  bool formVisible = true;
  const std::wstring text = AnswerRunTimeBox(p, &formVisible);
  EXPECT_NE(text.find(L"termb.dll"), std::wstring::npos) << Utf8(text);
  EXPECT_FALSE(formVisible);
  const auto code = p.Wait(kWaitMs);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 1u);
}

class MorvidWithFakeLibrary : public MorvidProcess {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CopyFileTo(BinDir() + L"\\Morvid.exe", app_ + L"\\Morvid.exe"));
    ASSERT_TRUE(CopyFileTo(BinDir() + L"\\fake-termb\\termb.dll", app_ + L"\\termb.dll"));
    ASSERT_TRUE(p_.Start(Quoted(app_ + L"\\Morvid.exe"), work_, Env()));
    form_ = WaitForMorvid(p_);
    ASSERT_NE(form_, nullptr);
  }

  TempDir appOwner_{L"morvid-app"};
  std::wstring app_ = morvid_test::FullPath(appOwner_.path());
  Process p_;
  HWND form_ = nullptr;
};

TEST_F(MorvidWithFakeLibrary, LatestAddressFileMissingAfterASuccessfulReadIsCreatedEmpty) {
  ASSERT_TRUE(WriteText(work_ + L"\\newadd.txt", std::string("o\0l\0d\0", 6)));
  ::SetWindowTextW(::GetDlgItem(form_, IDC_NEWADD), L"x");
  ::PostMessageW(::GetDlgItem(form_, IDC_NEWADDCMD), BM_CLICK, 0, 0);
  HWND bar = ::GetDlgItem(form_, IDC_STATUSBAR1);
  // The bar's own text is its first panel, "pg_status".
  EXPECT_TRUE(WaitUntil([&] { return RemoteText(bar) == L"读卡成功!请放下一张卡..."; }, kWaitMs))
      << Utf8(RemoteText(bar));
  EXPECT_EQ(RemoteText(::GetDlgItem(form_, IDC_NEWADD)), L"");
  const auto created = ReadBytes(work_ + L"\\newadd.txt");
  ASSERT_TRUE(created.has_value());
  EXPECT_EQ(created->size(), 0u);
  EXPECT_FALSE(FileExists(app_ + L"\\newadd.txt"));
  ::PostMessageW(form_, WM_CLOSE, 0, 0);
  EXPECT_EQ(p_.Wait(kWaitMs), std::optional<DWORD>(0));
}

TEST_F(MorvidWithFakeLibrary, MissingEntryPointEndsThroughAMessageBox) {
  ::PostMessageW(::GetDlgItem(form_, IDC_RDCMD), BM_CLICK, 0, 0);
  const std::wstring text = AnswerRunTimeBox(p_);
  EXPECT_NE(text.find(L"AuthenticateExt"), std::wstring::npos) << Utf8(text);
  const auto code = p_.Wait(kWaitMs);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 1u);
}

}  // namespace
