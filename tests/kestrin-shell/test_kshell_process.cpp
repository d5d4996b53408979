// Kestrin.exe run as the program it is, in a folder of its own with the reader simulators
// and a log store: the single copy, the start-up picture and the database connection, the
// reader connection as "reader.ini" says, the settings dialog, faults inside the reader
// libraries and the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "ShellTest.h"
#include "TestSupport.h"
#include "data/LogFixture.h"
#include "resource.h"

using namespace qx::test;
using namespace kshell_test;
using Lines = std::vector<std::string>;

namespace {

const DWORD kWaitMs = 20000;
const std::string kSamId = "05.01-20101217-0000001234-2305843009";
const wchar_t kPanel0Initial[] = L"读卡器连接成功! 安全模块编号【】";

struct StartUp {
  HWND main = nullptr;
  std::vector<Box> boxes;     // answered before the main window appeared
  DWORD splashSeen = 0;       // tick counts; 0: never seen
  DWORD mainSeen = 0;
  DWORD splashLastMissed = 0;  // the last look that did not find the picture shown
  SIZE splashSize{0, 0};
  bool mainVisibleWithBox = false;
  std::optional<DWORD> exitCode;  // when it ended before showing its main window
};

class KestrinProcess : public ::testing::Test, protected DeskFolders {
 protected:
  KestrinProcess() : DeskFolders(L"kshell") {}

  void SetUp() override {
    for (const wchar_t* f : {L"Kestrin.exe", L"sdtapi.dll", L"WltRS.dll"})
      ASSERT_TRUE(CopyFileTo(BinDir() + L"\\" + f, app_ + L"\\" + f)) << Utf8(f);
    SetScenario("[reader]\nports = 1\n");
  }

  void LayStore() { qx::data::fixture::LayLogStore(std::filesystem::path(app_)); }
  void SetScenario(const std::string& text) { ASSERT_TRUE(WriteText(scenario_, text)); }
  void SetIni(const std::string& utf8) { ASSERT_TRUE(WriteText(app_ + L"\\reader.ini", Gbk(utf8))); }


  // Follows the start-up until the main window is visible or the process ends, answering
  // every message box on the way.
  StartUp FollowStartUp(Process& p) {
    StartUp s;
    const DWORD begin = ::GetTickCount();
    while (::GetTickCount() - begin < kWaitMs) {
      const DWORD look = ::GetTickCount();
      if (HWND splash = FindOf(p.pid(), L"TForm_SysStart"); splash && ::IsWindowVisible(splash) && !s.splashSeen) {
        s.splashSeen = ::GetTickCount();
        RECT r{};
        ::GetWindowRect(splash, &r);
        s.splashSize = SIZE{r.right - r.left, r.bottom - r.top};
      }
      if (!s.splashSeen) s.splashLastMissed = look;
      if (HWND main = FindOf(p.pid(), L"TForm_main"); main && ::IsWindowVisible(main)) {
        s.main = main;
        s.mainSeen = ::GetTickCount();
        return s;
      }
      if (HWND box = MessageBoxOf(p.pid())) {
        HWND main = FindOf(p.pid(), L"TForm_main");
        s.mainVisibleWithBox = s.mainVisibleWithBox || (main && ::IsWindowVisible(main));
        s.boxes.push_back(AnswerBox(box));
        continue;
      }
      if (auto code = p.Wait(0)) {
        s.exitCode = code;
        return s;
      }
      ::Sleep(10);
    }
    return s;
  }

  std::wstring Panel0(HWND main) const {
    // The bar's own text is its first panel.
    return RemoteText(::GetDlgItem(main, IDC_SB));
  }
  bool ToolEnabled(HWND main, int id) const {
    return RemoteSend(::GetDlgItem(main, IDC_TOOLBAR1), TB_ISBUTTONENABLED, id) != 0;
  }

  void CloseAndExpectZero(Process& p, HWND main) {
    ::PostMessageW(main, WM_COMMAND, IDM_E1, 0);
    const auto code = p.Wait(kWaitMs);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0u);
  }

};

TEST_F(KestrinProcess, WorkingDatabaseShowsThePictureTwoSecondsThenTheMainWindowThatConnects) {
  LayStore();
  Process p;
  ASSERT_TRUE(Start(p));
  const StartUp s = FollowStartUp(p);
  ASSERT_NE(s.main, nullptr);
  ASSERT_NE(s.splashSeen, 0u);
  EXPECT_TRUE(s.boxes.empty());
  // The picture's size, one pixel wider than the window's design.
  EXPECT_EQ(s.splashSize.cx, 580);
  EXPECT_EQ(s.splashSize.cy, 377);
  // The picture came up after the last look that missed it; on a loaded machine a look can come
  // hundreds of milliseconds late, so the two seconds are counted from that look.
  EXPECT_GE(s.mainSeen - s.splashLastMissed, 1950u);
  EXPECT_EQ(FindOf(p.pid(), L"TForm_SysStart"), nullptr);
  EXPECT_EQ(RemoteText(s.main), W("Tesmo二代身份验证程序  V6.5"));
  // The program's title is that of its application window.
  EXPECT_NE(FindOf(p.pid(), L"TApplication", W("Tesmo二代身份验证").c_str()), nullptr);
  EXPECT_EQ(Panel0(s.main), W(("读卡器连接成功!安全模块编号 [" + kSamId + "]").c_str()));
  EXPECT_EQ(JournalCalls(journal_),
            (Lines{"SDT_ClosePort(1) = 0x1", "SDT_GetCOMBaud(1) = 0x90", "SDT_SetCOMBaud(1, 115200, 9600) = 0x90",
                   "SDT_OpenPort(1) = 0x90", "SDT_GetSAMIDToStr(1) = 0x90"}));
  // Connecting does not make a settings file.
  EXPECT_FALSE(FileExists(app_ + L"\\reader.ini"));

  // The end closes the open port, last of all.
  CloseAndExpectZero(p, s.main);
  const Lines calls = JournalCalls(journal_);
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back(), "SDT_ClosePort(1) = 0x90");
  EXPECT_EQ(calls.size(), 6u);
}

TEST_F(KestrinProcess, SecondCopyShowsOnlyItsBoxAndEnds) {
  LayStore();
  Process first;
  ASSERT_TRUE(Start(first));
  const StartUp s = FollowStartUp(first);
  ASSERT_NE(s.main, nullptr);

  Process second;
  ASSERT_TRUE(Start(second));
  HWND box = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (box = MessageBoxOf(second.pid())) != nullptr; }, kWaitMs));
  EXPECT_EQ(FindOf(second.pid(), L"TForm_SysStart"), nullptr);
  EXPECT_EQ(FindOf(second.pid(), L"TForm_main"), nullptr);
  EXPECT_EQ(FindOf(second.pid(), L"TApplication"), nullptr);
  const Box b = AnswerBox(box);
  EXPECT_EQ(b.text, W("系统已经运行！"));
  EXPECT_EQ(b.caption, W("提示"));
  EXPECT_EQ(second.Wait(kWaitMs), std::optional<DWORD>(0));
  // The running copy goes on.
  EXPECT_TRUE(first.Running());
  EXPECT_TRUE(::IsWindowVisible(s.main));
  CloseAndExpectZero(first, s.main);
}

TEST_F(KestrinProcess, MissingDataLinkShowsThePictureThenTheErrorAndEndsWithoutTheMainWindow) {
  Process p;
  ASSERT_TRUE(Start(p));
  const StartUp s = FollowStartUp(p);
  EXPECT_EQ(s.main, nullptr);
  EXPECT_NE(s.splashSeen, 0u);
  ASSERT_EQ(s.boxes.size(), 1u);
  EXPECT_EQ(s.boxes[0].text, W("数据库连接错误，请检查！"));
  EXPECT_EQ(s.boxes[0].caption, W("提示"));
  EXPECT_FALSE(s.mainVisibleWithBox);
  const auto code = s.exitCode ? s.exitCode : p.Wait(kWaitMs);
  EXPECT_EQ(code, std::optional<DWORD>(0));
  EXPECT_TRUE(JournalCalls(journal_).empty());
}

// "reader.ini" at start-up: which calls reach the reader, what panel 0 says, which boxes come
// and whether the verify buttons stay enabled.
struct IniCase {
  const char* name;
  const char* ini;  // nullptr: no file
  const char* scenario;
  Lines calls;
  std::string panel0;  // empty: the design text
  std::vector<std::string> boxes;
  bool verifyEnabled;
};

class KestrinIni : public KestrinProcess, public ::testing::WithParamInterface<IniCase> {};

TEST_P(KestrinIni, ConnectsAsTheFileSays) {
  const IniCase& c = GetParam();
  LayStore();
  if (c.ini) SetIni(c.ini);
  SetScenario(c.scenario);
  Process p;
  ASSERT_TRUE(Start(p));
  const StartUp s = FollowStartUp(p);
  ASSERT_NE(s.main, nullptr);
  EXPECT_EQ(JournalCalls(journal_), c.calls) << Join(JournalCalls(journal_));
  EXPECT_EQ(Panel0(s.main), c.panel0.empty() ? std::wstring(kPanel0Initial) : W(c.panel0.c_str()));
  std::vector<std::string> boxes;
  for (const Box& b : s.boxes) boxes.push_back(Utf8(b.text));
  EXPECT_EQ(boxes, c.boxes);
  EXPECT_EQ(ToolEnabled(s.main, IDC_TBTNCHECK), c.verifyEnabled);
  EXPECT_EQ(ToolEnabled(s.main, IDC_TBTNAUTO), c.verifyEnabled);
  // The other buttons stay usable whatever the connection did.
  for (int id : {IDC_TBTNDEPART, IDC_TBTNCOPY, IDC_TBTNPRINT, IDC_TBTNIMEG, IDC_TBTFPRINT, IDC_TBTNQRY,
                 IDC_TBTNHELP, IDC_TBTNEXIT})
    EXPECT_TRUE(ToolEnabled(s.main, id)) << id;
  CloseAndExpectZero(p, s.main);
}

const std::string kOk = "读卡器连接成功!安全模块编号 [" + kSamId + "]";
const char kFailed[] = "读卡器连接失败!";
const char kFailBox[] = "读卡器连接出错!请检查配置!";

INSTANTIATE_TEST_SUITE_P(
    Cases, KestrinIni,
    ::testing::Values(
        IniCase{"UsbInSmallLettersMakesNoAttempt", "[READER]\nPORT=usb\n", "[reader]\nports = 1001\n", {}, "", {}, true},
        IniCase{"OtherKindMakesNoAttempt", "[READER]\nPORT=LPT\n[COM]\nport=COM1\n", "[reader]\nports = 1\n", {}, "", {},
                true},
        IniCase{"UsbOpensPort1001WithoutTouchingTheRate",
                "[READER]\nPORT=USB\n[COM]\nport=COM3\nbaund=38400\n",
                "[reader]\nports = 1001\n",
                {"SDT_ClosePort(1001) = 0x1", "SDT_OpenPort(1001) = 0x90", "SDT_GetSAMIDToStr(1001) = 0x90"},
                kOk, {}, true},
        IniCase{"TwoDigitPortIsTakenFromTheFourthCharacter",
                "[READER]\nPORT=COM\n[COM]\nport=COM12\nbaund=38400\n",
                "[reader]\nports = 12\n",
                {"SDT_ClosePort(12) = 0x1", "SDT_GetCOMBaud(12) = 0x90", "SDT_SetCOMBaud(12, 115200, 38400) = 0x90",
                 "SDT_OpenPort(12) = 0x90", "SDT_GetSAMIDToStr(12) = 0x90"},
                kOk, {}, true},
        IniCase{"RateZeroOpensPortZero", "[READER]\nPORT=COM\n[COM]\nport=COM2\nbaund=0\n", "[reader]\nports = 2\n",
                {"SDT_ClosePort(0) = 0x1", "SDT_OpenPort(0) = 0x1"}, kFailed, {kFailBox}, false},
        IniCase{"FailedConnectionDisablesVerification", nullptr, "[reader]\nports =\n",
                {"SDT_ClosePort(1) = 0x1", "SDT_GetCOMBaud(1) = 0x5"}, kFailed, {kFailBox}, false},
        IniCase{"SecurityModuleSilentThreeTimesFails", nullptr,
                "[reader]\nports = 1\n[results]\nSDT_GetSAMIDToStr = 0x1\n",
                {"SDT_ClosePort(1) = 0x1", "SDT_GetCOMBaud(1) = 0x90", "SDT_SetCOMBaud(1, 115200, 9600) = 0x90",
                 "SDT_OpenPort(1) = 0x90", "SDT_GetSAMIDToStr(1) = 0x1", "SDT_GetSAMIDToStr(1) = 0x1",
                 "SDT_GetSAMIDToStr(1) = 0x1"},
                kFailed, {kFailBox}, false},
        IniCase{"PortTextTooShortIsAConversionError", "[READER]\nPORT=COM\n[COM]\nport=COM\n", "[reader]\nports = 1\n",
                {}, "", {"'' 不是有效的整数值"}, true},
        IniCase{"RateThatIsNoNumberIsAConversionError", "[READER]\nPORT=COM\n[COM]\nport=COM1\nbaund=96OO\n",
                "[reader]\nports = 1\n", {}, "", {"'96OO' 不是有效的整数值"}, true}),
    [](const ::testing::TestParamInfo<IniCase>& i) { return std::string(i.param.name); });

TEST_F(KestrinProcess, SettingsDialogSavesAndReconnectsWhenClosed) {
  LayStore();
  SetScenario("[reader]\nports = 1, 1001\n");
  Process p;
  ASSERT_TRUE(Start(p));
  const StartUp s = FollowStartUp(p);
  ASSERT_NE(s.main, nullptr);
  const size_t before = JournalCalls(journal_).size();

  ::PostMessageW(s.main, WM_COMMAND, IDC_TBTNDEPART, 0);
  HWND dlg = nullptr;
  // Up once shown: its controls are made before that.
  ASSERT_TRUE(WaitUntil([&] {
    dlg = FindOf(p.pid(), L"#32770", W("读卡器端口设置").c_str());
    return dlg && ::IsWindowVisible(dlg) && ::GetDlgItem(dlg, IDC_BTNQUIT);
  }, kWaitMs));
  HWND com = ::GetDlgItem(dlg, IDC_CBCOM), baund = ::GetDlgItem(dlg, IDC_CBBAUND), usb = ::GetDlgItem(dlg, IDC_CKUSB);
  EXPECT_EQ(RemoteText(com), L"COM1");
  EXPECT_EQ(RemoteText(baund), L"9600");
  EXPECT_EQ(RemoteSend(com, CB_GETCOUNT), 8);
  EXPECT_EQ(RemoteSend(baund, CB_GETCOUNT), 3);
  EXPECT_EQ(RemoteSend(usb, BM_GETCHECK), BST_UNCHECKED);

  ::PostMessageW(usb, BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindowEnabled(com); }, kWaitMs));
  EXPECT_FALSE(::IsWindowEnabled(baund));
  EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dlg, IDC_LABEL5)));
  EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dlg, IDC_LABEL6)));

  ::PostMessageW(::GetDlgItem(dlg, IDC_BTNSET), BM_CLICK, 0, 0);
  HWND box = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (box = MessageBoxOf(p.pid())) != nullptr; }, kWaitMs));
  const Box b = AnswerBox(box);
  EXPECT_EQ(b.text, W("设置完毕!"));
  EXPECT_EQ(b.caption, W("Tesmo二代身份验证"));
  EXPECT_EQ(GbkToUtf8(ReadText(app_ + L"\\reader.ini")), "[READER]\r\nPORT=USB\r\n");
  // Saving leaves the dialog open and connects nothing.
  EXPECT_TRUE(::IsWindow(dlg));
  EXPECT_EQ(JournalCalls(journal_).size(), before);

  ::PostMessageW(::GetDlgItem(dlg, IDC_BTNQUIT), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dlg); }, kWaitMs));
  ASSERT_TRUE(WaitUntil([&] { return JournalCalls(journal_).size() >= before + 3; }, kWaitMs));
  const Lines calls = JournalCalls(journal_);
  // The old port stays as it was: only the one about to be opened is closed first.
  EXPECT_EQ(Lines(calls.begin() + before, calls.end()),
            (Lines{"SDT_ClosePort(1001) = 0x1", "SDT_OpenPort(1001) = 0x90", "SDT_GetSAMIDToStr(1001) = 0x90"}));
  EXPECT_EQ(Panel0(s.main), W(kOk.c_str()));

  CloseAndExpectZero(p, s.main);
  EXPECT_EQ(JournalCalls(journal_).back(), "SDT_ClosePort(1001) = 0x90");
}

// A fault inside a reader library, scripted for one call: the default error message names it
// and the library, the desk goes on without logging the card, and the next verification works
// and logs its row.
struct FaultCase {
  const char* name;
  const char* results;  // the [results] line of the scenario
  bool automatic;       // in a tick of automatic verification, else a one-shot verification
  const char* message;
};

class KestrinFault : public KestrinProcess, public ::testing::WithParamInterface<FaultCase> {
 protected:
  void SetUp() override {
    KestrinProcess::SetUp();
    for (const wchar_t* f : {L"show.bmp", L"bkF.bmp", L"bkB.bmp"})
      ASSERT_TRUE(CopyFileTo(BinDir() + L"\\" + f, app_ + L"\\" + f)) << Utf8(f);
    LayStore();
  }
};

TEST_P(KestrinFault, ReachesTheDefaultErrorMessageAndTheDeskGoesOn) {
  const FaultCase& c = GetParam();
  const char kId[] = "110101198001010011";
  SetScenario(Reader(Card("张三", kId)) + "[results]\n" + c.results + "\n");
  Process p;
  ASSERT_TRUE(Start(p));
  const StartUp s = FollowStartUp(p);
  ASSERT_NE(s.main, nullptr);
  ASSERT_TRUE(s.boxes.empty());
  HWND bar = ::GetDlgItem(s.main, IDC_SB);
  const int command = c.automatic ? IDM_NAUTO : IDM_NCHK;

  ::PostMessageW(s.main, WM_COMMAND, command, 0);
  HWND box = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (box = MessageBoxOf(p.pid())) != nullptr || !p.Running(); }, kWaitMs));
  ASSERT_NE(box, nullptr) << "the desk ended";
  const Box b = AnswerBox(box);
  EXPECT_EQ(b.text, W(c.message));
  EXPECT_EQ(b.caption, W("Tesmo二代身份验证"));
  EXPECT_TRUE(p.Running());
  EXPECT_EQ(RemotePanelText(bar, 1), L" ... ...");
  EXPECT_TRUE(LoggedIds(app_ + L"\\").empty());

  // Automatic mode is switched off and on again, which starts the timer the tick left stopped.
  if (c.automatic) ::PostMessageW(s.main, WM_COMMAND, command, 0);
  ::PostMessageW(s.main, WM_COMMAND, command, 0);
  const std::wstring done = c.automatic ? W("身份验证成功！") : W("身份验证成功!");
  EXPECT_TRUE(WaitUntil([&] { return RemotePanelText(bar, 1) == done; }, kWaitMs)) << Utf8(RemotePanelText(bar, 1));
  EXPECT_EQ(MessageBoxOf(p.pid()), nullptr);
  EXPECT_EQ(LoggedIds(app_ + L"\\"), Lines{kId});
  const Lines calls = JournalCalls(journal_, "");
  EXPECT_EQ(std::count_if(calls.begin(), calls.end(), [](const std::string& l) { return l.find("= fault") != std::string::npos; }),
            1);
  CloseAndExpectZero(p, s.main);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KestrinFault,
    ::testing::Values(FaultCase{"OneShotRead", "SDT_ReadBaseMsg#1 = fault", false, "sdtapi.dll 中发生访问冲突（0xC0000005）"},
                      FaultCase{"AutomaticTickSelect", "SDT_SelectMorvid#1 = fault", true,
                                "sdtapi.dll 中发生访问冲突（0xC0000005）"},
                      FaultCase{"OneShotGetBmp", "GetBmp#1 = fault", false, "WltRS.dll 中发生访问冲突（0xC0000005）"}),
    [](const ::testing::TestParamInfo<FaultCase>& i) { return std::string(i.param.name); });

}  // namespace
