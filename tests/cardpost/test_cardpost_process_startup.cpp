// Cardpost.exe start-up and exit: hidden and shown starts, the dialogs, the single running copy.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CardpostHarness.h"
#include "ConsoleSim.h"

using qx::consolesim::ConsoleSim;
using namespace qx::test;

namespace {

const std::string kStars86(86, '*');
const std::string kStars60(60, '*');
const std::string kBuilt = "模块编译时间(v2.1):2010-12-17 17:50:00";
const std::string kOtherCopy = "运行标志已经存在，则直接退出，只保留一份实例";
const std::string kCreateFailed = "运行标志不存在，创建运行标志失败，则直接退出";
const std::string kUnloadBegin = "BGN 卸载设备";
const std::string kUnloadEnd = "END 卸载设备  完成";
const std::string kClearFlag = "清除运行标志";

std::wstring ControlText(HWND dlg, int id) { return WindowTextOf(::GetDlgItem(dlg, id)); }

}  // namespace

struct ShowCase {
  const wchar_t* args;
  bool shown;
};

class CardpostStartArgs : public ::testing::TestWithParam<ShowCase> {};

// Only the first argument, in any case, asks for the shown start.
TEST_P(CardpostStartArgs, FirstArgumentDecidesShownOrHidden) {
  const ShowCase c = GetParam();
  CardpostHarness h;
  ASSERT_TRUE(h.StartAndWaitForBridge(c.args));
  if (c.shown) {
    EXPECT_TRUE(h.WaitForMessage("END 初始化设备  完成", 5000));
  } else {
    // The dialog window exists before its initialisation has parked it.
    ASSERT_TRUE(h.WaitForMessage(kStars60, 5000));
    ASSERT_TRUE(WaitUntil([] { return FindCardpostDialog() != nullptr; }, 5000));
    RECT r{};
    // The line is written just before the move: give it the moment it takes.
    WaitUntil([&] { return ::GetWindowRect(FindCardpostDialog(), &r) && r.left == -200; }, 2000);
    EXPECT_EQ(r.left, -200);
    EXPECT_EQ(r.top, -200);
    EXPECT_EQ(r.right - r.left, 100);
    EXPECT_EQ(r.bottom - r.top, 100);
  }
  ConsoleSim console;
  ASSERT_TRUE(console.Close());
  ASSERT_TRUE(h.WaitForExit(10000));
  EXPECT_EQ(h.CountMessage("BGN 初始化设备"), c.shown ? 1u : 0u);
  EXPECT_EQ(h.JournalLines().empty(), !c.shown);
}

INSTANTIATE_TEST_SUITE_P(Cases, CardpostStartArgs,
                         ::testing::Values(ShowCase{L"", false}, ShowCase{L"-SHOW", true},
                                           ShowCase{L"-show", true}, ShowCase{L"-Show", true},
                                           ShowCase{L"x -SHOW", false},
                                           ShowCase{L"-SHOWX", false}));

// The hidden dialog is a tool window off screen without a taskbar button.
TEST(CardpostStartup, HiddenDialogIsParkedToolWindow) {
  CardpostHarness h;
  ASSERT_TRUE(h.StartAndWaitForBridge());
  HWND dlg = nullptr;
  ASSERT_TRUE(h.WaitForMessage(kStars60, 5000));
  ASSERT_TRUE(WaitUntil([&] { return (dlg = FindCardpostDialog()) != nullptr; }, 5000));
  RECT r{};
  WaitUntil([&] { return ::GetWindowRect(dlg, &r) && r.left == -200; }, 2000);
  const LONG ex = ::GetWindowLongW(dlg, GWL_EXSTYLE);
  EXPECT_TRUE(ex & WS_EX_TOOLWINDOW);
  EXPECT_FALSE(ex & WS_EX_APPWINDOW);
  // The platform may add the window-edge bit that goes with a caption; nothing else stays.
  EXPECT_EQ(ex & ~(WS_EX_TOOLWINDOW | WS_EX_WINDOWEDGE), 0);
  EXPECT_EQ(r.left, -200);
  EXPECT_EQ(r.top, -200);
  EXPECT_EQ(r.right, -100);
  EXPECT_EQ(r.bottom, -100);
  // Neither of Cardpost's own windows is ever visible.
  EXPECT_FALSE(::IsWindowVisible(::FindWindowA(nullptr, kCardpostBridgeTitle)));
  ConsoleSim console;
  console.Close();
  ASSERT_TRUE(h.WaitForExit(10000));
}

// The shown dialog keeps the resource's look; the about box comes and goes over it.
TEST(CardpostStartup, ShownDialogAndAboutBox) {
  CardpostHarness h;
  ASSERT_TRUE(h.StartAndWaitForBridge(L"-SHOW"));
  ASSERT_TRUE(h.WaitForMessage("END 初始化设备  完成", 5000));
  HWND dlg = FindCardpostDialog();
  ASSERT_TRUE(dlg);
  // The reader starts inside the dialog's initialisation; the dialog shows once that returns.
  EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(dlg) != FALSE; }, 5000));
  const LONG style = ::GetWindowLongW(dlg, GWL_STYLE);
  EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU), WS_POPUP | WS_CAPTION | WS_SYSMENU);
  EXPECT_TRUE(::GetWindowLongW(dlg, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  EXPECT_EQ(ControlText(dlg, IDOK), L"确定");
  EXPECT_EQ(ControlText(dlg, IDCANCEL), L"取消");
  EXPECT_EQ(ControlText(dlg, 1000), L"扫描识别");
  RECT r{};
  ::GetWindowRect(dlg, &r);
  EXPECT_GT(r.right - r.left, 100);

  // The about item's command; the box has no parent and its own caption.
  ::PostMessageW(dlg, WM_SYSCOMMAND, 0x10, 0);
  HWND about = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (about = ::FindWindowW(L"#32770", L"关于 Cardpost")) != nullptr; },
                        5000));
  // The box is found by its title while its controls may still be in the making.
  EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(about) != FALSE; }, 5000));
  EXPECT_EQ(ControlText(about, IDOK), L"确定");
  ::PostMessageW(about, WM_CLOSE, 0, 0);
  EXPECT_TRUE(WaitUntil([] { return ::FindWindowW(L"#32770", L"关于 Cardpost") == nullptr; }, 5000));
  EXPECT_TRUE(h.Running());
  EXPECT_TRUE(::IsWindow(dlg));
  ConsoleSim console;
  EXPECT_EQ(console.QueryStatus(), 0);

  // 确定 ends the shown dialog and with it the program.
  ::PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(dlg, IDOK)));
  ASSERT_TRUE(h.WaitForExit(10000));
  const auto m = h.Messages();
  ASSERT_GE(m.size(), 3u);
  EXPECT_EQ(m[m.size() - 3], kUnloadBegin);
  EXPECT_EQ(m[m.size() - 2], kUnloadEnd);
  EXPECT_EQ(m[m.size() - 1], kClearFlag);
}

// The scan button logs and reads nothing.
TEST(CardpostStartup, ScanButtonOnlyLogs) {
  CardpostHarness h;
  ASSERT_TRUE(h.StartAndWaitForBridge(L"-SHOW"));
  ASSERT_TRUE(h.WaitForMessage("END 初始化设备  完成", 5000));
  HWND dlg = FindCardpostDialog();
  ASSERT_TRUE(dlg);
  ::PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(1000, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(dlg, 1000)));
  EXPECT_TRUE(h.WaitForMessage("BGN 扫描识别", 5000));
  EXPECT_EQ(h.CountMessage("END 扫描识别，设备正忙"), 0u);
  ::PostMessageW(dlg, WM_CLOSE, 0, 0);
  ASSERT_TRUE(h.WaitForExit(10000));
}

// Closed by the console before any handshake: the reader libraries are never touched.
TEST(CardpostStartup, CloseBeforeHandshake) {
  CardpostHarness h;
  ASSERT_TRUE(h.StartAndWaitForBridge());
  ConsoleSim console;
  ASSERT_TRUE(console.Close());
  ASSERT_TRUE(h.WaitForExit(10000));
  const std::vector<std::string> expected = {kStars86, kBuilt,      kStars60,
                                             kUnloadBegin, kUnloadEnd, kClearFlag};
  EXPECT_EQ(h.Messages(), expected);
  EXPECT_FALSE(FileExists(h.JournalPath()));
  EXPECT_TRUE(h.LogIsCrLf(h.LogBase()));
}

// A second copy logs one line and ends; the first goes on undisturbed.
TEST(CardpostStartup, SecondCopyEndsAtOnce) {
  CardpostHarness h;
  ASSERT_TRUE(h.StartAndWaitForBridge());
  ASSERT_TRUE(h.WaitForMessage(kStars60, 5000));
  HWND bridge = ::FindWindowA(nullptr, kCardpostBridgeTitle);

  Process second;
  ASSERT_TRUE(h.StartExtra(second));
  ASSERT_TRUE(second.Wait(10000));
  std::vector<std::string> expected = {kStars86, kBuilt, kStars60, kStars86, kBuilt, kOtherCopy};
  EXPECT_EQ(h.Messages(), expected);
  EXPECT_TRUE(h.Running());
  EXPECT_EQ(::FindWindowA(nullptr, kCardpostBridgeTitle), bridge);
  EXPECT_EQ(CountWindows(kCardpostBridgeTitle), 1u);

  ConsoleSim console;
  EXPECT_EQ(console.QueryStatus(), 1);
  ASSERT_TRUE(console.Close());
  ASSERT_TRUE(h.WaitForExit(10000));
  EXPECT_EQ(h.CountMessage(kClearFlag), 1u);
}

// Two copies started together: whichever loses the race ends, exactly one stays.
TEST(CardpostStartup, TwoCopiesAtOnceLeaveOne) {
  CardpostHarness h;
  Process a, b;
  ASSERT_TRUE(h.StartExtra(a));
  ASSERT_TRUE(h.StartExtra(b));
  ASSERT_TRUE(WaitUntil([&] { return !a.Running() || !b.Running(); }, 10000));
  ASSERT_TRUE(WaitForWindow(kCardpostBridgeTitle, 10000));
  EXPECT_NE(a.Running(), b.Running());
  EXPECT_EQ(CountWindows(kCardpostBridgeTitle), 1u);
  EXPECT_EQ(h.CountMessage(kOtherCopy), 1u);
  ConsoleSim console;
  ASSERT_TRUE(console.Close());
  EXPECT_TRUE(WaitUntil([&] { return !a.Running() && !b.Running(); }, 10000));
  EXPECT_EQ(h.CountMessage(kClearFlag), 1u);
}

// The name taken by an object of another kind: the flag cannot be made, the program ends.
TEST(CardpostStartup, RunFlagCannotBeCreated) {
  CardpostHarness h;
  HANDLE squatter = ::CreateMutexA(nullptr, FALSE, "ExistFlag__Morvid2_Tesmo_RK60");
  ASSERT_TRUE(squatter);
  ASSERT_TRUE(h.Start());
  ASSERT_TRUE(h.WaitForExit(10000));
  ::CloseHandle(squatter);
  const std::vector<std::string> expected = {kStars86, kBuilt, kCreateFailed};
  EXPECT_EQ(h.Messages(), expected);
}

// -SHOW without the reader library: the start fails, everything is unloaded, no packet.
TEST(CardpostStartup, ShowWithoutReaderLibraryEnds) {
  CardpostHarness h;
  ASSERT_TRUE(h.RemoveProgramFile(L"sdtapi.dll"));
  ConsoleSim console(qx::consolesim::kCheckCard);
  ASSERT_TRUE(h.Start(L"-SHOW"));
  ASSERT_TRUE(h.WaitForExit(10000));
  const auto m = h.Messages();
  ASSERT_EQ(m.size(), 10u);
  EXPECT_EQ(m[3], "BGN 初始化设备");
  EXPECT_EQ(m[4], "BGN 装载二代证读卡器");
  EXPECT_EQ(m[5].rfind("装载二代证读卡器  失败， LoadLibrary error (", 0), 0u) << m[5];
  EXPECT_TRUE(!m[5].empty() && m[5].back() == ')') << m[5];
  EXPECT_EQ(m[6], "END 初始化设备  失败，装载二代证设备  失败");
  EXPECT_EQ(m[7], kUnloadBegin);
  EXPECT_EQ(m[8], kUnloadEnd);
  EXPECT_EQ(m[9], kClearFlag);
  EXPECT_EQ(console.RecordCount(), 0u);
}
