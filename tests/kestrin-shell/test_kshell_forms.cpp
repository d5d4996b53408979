// The desk's windows driven in this process: the main window's frame and commands, the
// reader connection's effect on the verify controls and the menu, automatic mode, the
// settings dialog, the about box and the start-up picture. The process runs from a folder of
// its own (it copies itself there first), so that "reader.ini" beside it is the tests' alone.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "KestrinApp.h"
#include "HeldTimer.h"
#include "Reader.h"
#include "ShellTest.h"
#include "TestSupport.h"
#include "about.h"
#include "frmSysStart.h"
#include "main.h"
#include "setport.h"
#include "win/App.h"
#include "win/Handle.h"
#include "win/Menu.h"

using namespace qx::test;
using namespace kshell_test;
using qx::kestrin::TForm_about;
using qx::kestrin::TForm_main;
using qx::kestrin::TForm_setport;
using qx::kestrin::TForm_SysStart;
using qx::win::WindowDc;
using Lines = std::vector<std::string>;

namespace {

const std::string kSamId = "05.01-20101217-0000001234-2305843009";

// ---- simulators and settings ---------------------------------------------------------------

TempDir& SimDir() {
  static TempDir dir(L"kshell-forms-sim");
  return dir;
}
std::wstring JournalPath() { return SimDir() / L"journal.txt"; }

// Each scenario gets a file of its own, so the simulators always see a new one.
void SetScenario(const std::string& utf8) {
  static int counter = 0;
  const std::wstring path = SimDir() / (L"scenario" + std::to_wstring(++counter) + L".ini");
  ASSERT_TRUE(WriteText(path, utf8));
  ::SetEnvironmentVariableW(L"QX_READER_SCENARIO", path.c_str());
  ::SetEnvironmentVariableW(L"QX_READER_JOURNAL", JournalPath().c_str());
}

std::wstring IniPath() { return qx::kestrin::ProgramFile(L"reader.ini"); }
void SetIni(const char* utf8) {
  ::DeleteFileW(IniPath().c_str());
  if (utf8) {
    ASSERT_TRUE(WriteText(IniPath(), Gbk(utf8)));
  }
}
std::string IniValue(const wchar_t* section, const wchar_t* key) {
  return Utf8(qx::kestrin::ReadReaderIni(section, key, L"<none>"));
}

// ---- modal windows -----------------------------------------------------------------------


// Answers message boxes (recording them) and hands each dialog, at its first activation, to
// onDialog; afterBox runs once a box has been answered.
class Modal {
 public:
  std::function<void(HWND, const std::wstring& caption)> onDialog;
  std::function<void()> afterBox;
  std::vector<SeenBox> boxes;

 private:
  std::set<HWND> dialogs_;
  BoxWatcher watcher_{[this](HWND w, const SeenBox& seen) {
    if (::GetDlgItem(w, 0xFFFF)) {
      boxes.push_back(seen);
      ::PostMessageW(w, WM_COMMAND, IDOK, 0);
      if (afterBox) Later(30, afterBox);
      return;
    }
    // Activated again when a box above it closes: only the first time counts.
    if (!dialogs_.insert(w).second) return;
    if (onDialog)
      onDialog(w, seen.caption);
    else
      ::PostMessageW(w, WM_CLOSE, 0, 0);
  }};
};

// ---- main window -------------------------------------------------------------------------

class MainForm : public ::testing::Test {
 protected:
  void SetUp() override {
    SetIni(nullptr);
    SetScenario("[reader]\nports = 1\n");
  }
  // Creates the window; show: also shows it, which connects the reader.
  void Make(bool show) {
    ASSERT_TRUE(form_.Create());
    timeauto_.Watch(form_.hwnd());
    if (show) {
      ::ShowWindow(form_.hwnd(), SW_SHOW);
      FlushEvents(30);
    }
  }
  HMENU Bar() const { return form_.Menu(); }
  bool O01Enabled() const { return qx::win::IsMenuEntryEnabled(Bar(), qx::kestrin::kMenuO01, true); }
  bool Tool(int id) const { return form_.ToolBar1().IsEnabled(id); }
  void Command(int id) { ::SendMessageW(form_.hwnd(), WM_COMMAND, id, 0); }
  // The hint that the bar's tooltip gets from the window.
  std::wstring HintOf(int id) {
    NMTTDISPINFOW info{};
    info.hdr.hwndFrom = nullptr;
    info.hdr.idFrom = static_cast<UINT_PTR>(id);
    info.hdr.code = TTN_GETDISPINFOW;
    ::SendMessageW(form_.hwnd(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    return info.lpszText ? std::wstring(info.lpszText) : std::wstring();
  }
  // Opens the settings through P1 and closes it at once with btnquit.
  void ReconnectThroughSettings() {
    Modal m;
    m.onDialog = [](HWND dlg, const std::wstring&) {
      Later(30, [dlg] { ::SendMessageW(::GetDlgItem(dlg, IDC_BTNQUIT), BM_CLICK, 0, 0); });
    };
    Command(IDM_P1);
    boxes_ = m.boxes;
  }

  // timeauto ticks only when a test sends it a tick.
  HeldTimer timeauto_{qx::kestrin::kTimeautoId};
  TForm_main form_;
  std::vector<SeenBox> boxes_;
};

TEST_F(MainForm, FrameHasItsMenusButtonsPanelsAndTimer) {
  Make(false);
  EXPECT_EQ(ClassNameOf(form_.hwnd()), L"TForm_main");
  EXPECT_EQ(WindowTextOf(form_.hwnd()), W("Tesmo二代身份验证程序  V6.5"));
  RECT r{};
  ::GetWindowRect(form_.hwnd(), &r);
  EXPECT_EQ(r.right - r.left, 765);
  EXPECT_EQ(r.bottom - r.top, 548);

  struct Top {
    const char* text;
    std::vector<std::pair<UINT, const char*>> items;
  };
  const std::vector<Top> menus = {
      {"系统(&S)", {{IDM_P1, "读卡器配置(&P)"}}},
      {"操作(&O)",
       {{IDM_NCHK, "验证(&C)"}, {IDM_NAUTO, "自动(&A)"}, {IDM_NCOPY, "照片保存(&S)"}, {IDM_NPRINT, "证件打印(&P)"},
        {IDM_NIMEG, "复印保存"}, {IDM_FILEPRINT, "文档打印"}}},
      {"查询(&Q)", {{IDM_Y1, "验证记录(&Y)"}}},
      {"帮助(&H)", {{IDM_A2, "关于 ...(&A)"}, {IDM_W1, "联机文档(&W)"}}},
      {"退出(&E)", {}},
  };
  ASSERT_EQ(::GetMenuItemCount(Bar()), static_cast<int>(menus.size()));
  for (size_t i = 0; i < menus.size(); ++i) {
    EXPECT_EQ(qx::win::MenuText(Bar(), static_cast<UINT>(i), true), W(menus[i].text));
    HMENU drop = ::GetSubMenu(Bar(), static_cast<int>(i));
    if (menus[i].items.empty()) {
      EXPECT_EQ(drop, nullptr);
      EXPECT_EQ(::GetMenuItemID(Bar(), static_cast<int>(i)), static_cast<UINT>(IDM_E1));
      continue;
    }
    ASSERT_NE(drop, nullptr);
    ASSERT_EQ(::GetMenuItemCount(drop), static_cast<int>(menus[i].items.size()));
    for (size_t k = 0; k < menus[i].items.size(); ++k) {
      EXPECT_EQ(::GetMenuItemID(drop, static_cast<int>(k)), menus[i].items[k].first);
      EXPECT_EQ(qx::win::MenuText(drop, static_cast<UINT>(k), true), W(menus[i].items[k].second));
    }
  }

  struct Button {
    int id;
    int picture;
    const char* hint;
  };
  const std::vector<Button> buttons = {
      {IDC_TBTNDEPART, 0, "读卡器配置"}, {IDC_TBTNCHECK, 2, "验证"},      {IDC_TBTNAUTO, 6, "自动"},
      {IDC_TBTNCOPY, 9, "照片保存"},     {IDC_TBTNPRINT, 4, "打印"},      {IDC_TBTNIMEG, 3, "复印保存"},
      {IDC_TBTFPRINT, 8, "文档打印"},    {IDC_TBTNQRY, 7, "验证记录查询"}, {IDC_TBTNHELP, 5, "联机文档"},
      {IDC_TBTNEXIT, 1, "退出"},
  };
  HWND bar = form_.ToolBar1().hwnd();
  ASSERT_EQ(form_.ToolBar1().ButtonCount(), static_cast<int>(buttons.size()));
  for (size_t i = 0; i < buttons.size(); ++i) {
    TBBUTTON b{};
    ASSERT_TRUE(::SendMessageW(bar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&b)));
    EXPECT_EQ(b.idCommand, buttons[i].id);
    EXPECT_EQ(b.iBitmap, buttons[i].picture);
    EXPECT_EQ(HintOf(buttons[i].id), W(buttons[i].hint));
    EXPECT_TRUE(Tool(buttons[i].id));
  }
  RECT barRect{};
  ::GetWindowRect(bar, &barRect);
  EXPECT_EQ(barRect.bottom - barRect.top, 41);
  const DWORD size = static_cast<DWORD>(::SendMessageW(bar, TB_GETBUTTONSIZE, 0, 0));
  EXPECT_EQ(LOWORD(size), 39);
  EXPECT_EQ(HIWORD(size), 38);

  EXPECT_EQ(form_.PanelText(0), W("读卡器连接成功! 安全模块编号【】"));
  EXPECT_EQ(form_.PanelText(1), L" ... ...");
  int rights[4] = {};
  ASSERT_EQ(::SendMessageW(::GetDlgItem(form_.hwnd(), IDC_SB), SB_GETPARTS, 4, reinterpret_cast<LPARAM>(rights)), 2);
  EXPECT_EQ(rights[0], 350);
  EXPECT_EQ(::GetClassLongPtrW(form_.Panel1(), GCLP_HBRBACKGROUND), static_cast<ULONG_PTR>(COLOR_BTNHIGHLIGHT + 1));
  EXPECT_TRUE(::GetWindowLongW(form_.Panel1(), GWL_STYLE) & WS_BORDER);

  // Created, not shown: nothing has touched the reader.
  EXPECT_FALSE(form_.TimeautoEnabled());
  EXPECT_EQ(form_.CurPort, 0);
  EXPECT_EQ(form_.AutoFlag, 0);
  EXPECT_TRUE(O01Enabled());
}

// Every menu item and tool bar button reaches its handler.
struct Wiring {
  int id;
  enum Effect { kVerifyFailed, kAutoOn, kSettings, kAbout, kClosed } effect;
};

class MainFormWiring : public MainForm, public ::testing::WithParamInterface<Wiring> {};

TEST_P(MainFormWiring, CommandReachesItsHandler) {
  const Wiring w = GetParam();
  SetScenario("[reader]\nports = 1\n");  // no card on the reader
  Make(true);
  Modal m;
  std::wstring dialog;
  m.onDialog = [&](HWND dlg, const std::wstring& caption) {
    dialog = caption;
    ::PostMessageW(dlg, WM_CLOSE, 0, 0);
  };
  Command(w.id);
  FlushEvents(30);
  switch (w.effect) {
    case Wiring::kVerifyFailed:
      EXPECT_EQ(form_.PanelText(1), W("身份验证失败!"));
      // The face is cleared from the template beside the program, without an error.
      EXPECT_TRUE(m.boxes.empty()) << Utf8(BoxTexts(m.boxes));
      break;
    case Wiring::kAutoOn:
      EXPECT_EQ(form_.AutoFlag, 1);
      break;
    case Wiring::kSettings:
      EXPECT_EQ(dialog, W("读卡器端口设置"));
      break;
    case Wiring::kAbout:
      EXPECT_EQ(dialog, W("关于..."));
      break;
    case Wiring::kClosed:
      EXPECT_FALSE(form_.exists());
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(Commands, MainFormWiring,
                         ::testing::Values(Wiring{IDM_NCHK, Wiring::kVerifyFailed},
                                           Wiring{IDC_TBTNCHECK, Wiring::kVerifyFailed},
                                           Wiring{IDM_NAUTO, Wiring::kAutoOn}, Wiring{IDC_TBTNAUTO, Wiring::kAutoOn},
                                           Wiring{IDM_P1, Wiring::kSettings},
                                           Wiring{IDC_TBTNDEPART, Wiring::kSettings},
                                           Wiring{IDM_A2, Wiring::kAbout}, Wiring{IDM_E1, Wiring::kClosed},
                                           Wiring{IDC_TBTNEXIT, Wiring::kClosed}));

TEST_F(MainForm, AutomaticModeSwitchesTheTimerCaptionHintAndOneShotControls) {
  Make(true);
  const std::wstring panel1 = form_.PanelText(1);
  Command(IDM_NAUTO);
  EXPECT_EQ(form_.AutoFlag, 1);
  EXPECT_TRUE(form_.TimeautoEnabled());
  EXPECT_EQ(qx::win::MenuText(Bar(), IDM_NAUTO, false), W("停止(&S)"));
  EXPECT_EQ(HintOf(IDC_TBTNAUTO), W("停止"));
  EXPECT_FALSE(qx::win::IsMenuEntryEnabled(Bar(), IDM_NCHK, false));
  EXPECT_FALSE(Tool(IDC_TBTNCHECK));
  // No read at once: the panel keeps its text until the first tick.
  EXPECT_EQ(form_.PanelText(1), panel1);

  const size_t before = JournalCalls(JournalPath()).size();
  ::SendMessageW(form_.hwnd(), WM_TIMER, qx::kestrin::kTimeautoId, 0);
  EXPECT_EQ(form_.PanelText(1), W("等待刷卡......"));
  EXPECT_TRUE(form_.TimeautoEnabled());
  EXPECT_EQ(JournalCalls(JournalPath()).size(), before + 1);  // one look for a card

  Command(IDC_TBTNAUTO);
  EXPECT_EQ(form_.AutoFlag, 0);
  EXPECT_FALSE(form_.TimeautoEnabled());
  EXPECT_EQ(qx::win::MenuText(Bar(), IDM_NAUTO, false), W("自动(&A)"));
  EXPECT_EQ(HintOf(IDC_TBTNAUTO), W("自动"));
  EXPECT_EQ(form_.PanelText(1), L"... ...");
  EXPECT_TRUE(qx::win::IsMenuEntryEnabled(Bar(), IDM_NCHK, false));
  EXPECT_TRUE(Tool(IDC_TBTNCHECK));
  // A tick queued before the timer stopped is not served.
  ::SendMessageW(form_.hwnd(), WM_TIMER, qx::kestrin::kTimeautoId, 0);
  EXPECT_EQ(form_.PanelText(1), L"... ...");
}

// With no tick held back, timeauto is the platform's timer: the first tick comes one interval
// after automatic mode starts, and none after it stops.
TEST(MainFormTimer, PlatformTimerTicksAfterTheIntervalWhileAutomaticModeIsOn) {
  SetIni(nullptr);
  SetScenario("[reader]\nports = 1\n");
  TForm_main form;
  ASSERT_TRUE(form.Create());
  ::ShowWindow(form.hwnd(), SW_SHOW);
  FlushEvents(30);
  const DWORD start = ::GetTickCount();
  ::SendMessageW(form.hwnd(), WM_COMMAND, IDM_NAUTO, 0);
  ASSERT_TRUE(WaitUntil([&] { return form.PanelText(1) == W("等待刷卡......"); }, 6000));
  // 1500 ms; a tick never comes early, only the tick count's steps can make it look so.
  EXPECT_GE(::GetTickCount() - start, 1500u - 20);
  ::SendMessageW(form.hwnd(), WM_COMMAND, IDM_NAUTO, 0);
  const size_t calls = JournalCalls(JournalPath()).size();
  FlushEvents(3000);
  EXPECT_EQ(JournalCalls(JournalPath()).size(), calls);
}

TEST_F(MainForm, FailedConnectionDisablesVerificationUntilAReconnectionSucceeds) {
  SetScenario("[reader]\nports =\n");
  Modal m;
  Make(true);
  ASSERT_EQ(m.boxes.size(), 1u);
  EXPECT_EQ(m.boxes[0].text, W("读卡器连接出错!请检查配置!"));
  EXPECT_EQ(m.boxes[0].caption, W("Tesmo二代身份验证"));
  EXPECT_EQ(form_.PanelText(0), W("读卡器连接失败!"));
  EXPECT_EQ(form_.CurPort, 0);
  EXPECT_FALSE(O01Enabled());
  EXPECT_FALSE(Tool(IDC_TBTNCHECK));
  EXPECT_FALSE(Tool(IDC_TBTNAUTO));
  EXPECT_TRUE(Tool(IDC_TBTNDEPART));

  SetScenario("[reader]\nports = 1\n");
  ReconnectThroughSettings();
  EXPECT_TRUE(boxes_.empty()) << Utf8(BoxTexts(boxes_));
  EXPECT_EQ(form_.PanelText(0), W(("读卡器连接成功!安全模块编号 [" + kSamId + "]").c_str()));
  EXPECT_EQ(form_.CurPort, 1);
  EXPECT_TRUE(O01Enabled());
  EXPECT_TRUE(Tool(IDC_TBTNCHECK));
  EXPECT_TRUE(Tool(IDC_TBTNAUTO));
}

TEST_F(MainForm, FailedReconnectionInAutomaticModeLeavesTheTimerRunning) {
  Make(true);
  ASSERT_EQ(form_.CurPort, 1);
  Command(IDM_NAUTO);
  SetScenario("[reader]\nports =\n");
  ReconnectThroughSettings();
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(form_.CurPort, 0);
  EXPECT_TRUE(form_.TimeautoEnabled());
  EXPECT_EQ(form_.AutoFlag, 1);
  EXPECT_FALSE(Tool(IDC_TBTNAUTO));
  EXPECT_FALSE(O01Enabled());

  // A later success enables the tool bar's one-shot button again; its menu item stays off.
  SetScenario("[reader]\nports = 1\n");
  ReconnectThroughSettings();
  EXPECT_TRUE(Tool(IDC_TBTNCHECK));
  EXPECT_TRUE(Tool(IDC_TBTNAUTO));
  EXPECT_FALSE(qx::win::IsMenuEntryEnabled(::GetSubMenu(Bar(), qx::kestrin::kMenuO01), IDM_NCHK, false));
  EXPECT_TRUE(form_.TimeautoEnabled());
}

TEST_F(MainForm, ConversionErrorReachesTheDefaultMessageAndKeepsTheState) {
  // The port converts, the rate does not: CurPort holds the new port, nothing was opened.
  SetIni("[READER]\nPORT=COM\n[COM]\nport=COM5\nbaund=fast\n");
  SetScenario("[reader]\nports = 5\n");
  Modal m;
  Make(true);
  ASSERT_EQ(m.boxes.size(), 1u);
  EXPECT_EQ(m.boxes[0].text, W("'fast' 不是有效的整数值"));
  EXPECT_EQ(m.boxes[0].caption, W("Tesmo二代身份验证"));
  EXPECT_TRUE(::IsWindowVisible(form_.hwnd()));
  EXPECT_EQ(form_.CurPort, 5);
  EXPECT_EQ(form_.PanelText(0), W("读卡器连接成功! 安全模块编号【】"));
  EXPECT_TRUE(O01Enabled());
  EXPECT_TRUE(Tool(IDC_TBTNCHECK));
}

// Every box of the desk has an owner: the active window of the thread, or the main window when
// no window of the desk is active (the desk in the background during automatic verification),
// so that the box is modal to the desk.
TEST_F(MainForm, BoxesAreOwnedByTheActiveWindowElseByTheMainWindow) {
  Make(false);
  qx::win::App app;
  app.SetMainWindow(&form_);
  struct Case {
    const char* what;
    std::function<void()> show;
  };
  const Case cases[] = {
      {"message", [] { qx::kestrin::ShowMessage(L"设置完毕!"); }},
      {"default error", [] { qx::kestrin::ShowDefaultError(L"x"); }},
      {"reader error", [] { qx::kestrin::ShowReaderError(0x41); }},
  };
  const auto ownersOf = [&] {
    std::vector<HWND> owners;
    BoxWatcher boxes([&](HWND box, const SeenBox& seen) {
      if (!seen.messageBox) return;
      owners.push_back(::GetWindow(box, GW_OWNER));
      ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    for (const Case& c : cases) c.show();
    return owners;
  };
  ASSERT_EQ(::GetActiveWindow(), nullptr);
  EXPECT_EQ(ownersOf(), std::vector<HWND>(3, form_.hwnd()));

  // A window of the desk that is active owns them itself.
  std::unique_ptr<std::remove_pointer_t<HWND>, decltype(&::DestroyWindow)> other(
      ::CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr),
      &::DestroyWindow);
  ASSERT_TRUE(other);
  ::SetActiveWindow(other.get());
  FlushEvents(30);
  ASSERT_EQ(::GetActiveWindow(), other.get());
  EXPECT_EQ(ownersOf(), std::vector<HWND>(3, other.get()));
}

// ---- settings dialog -----------------------------------------------------------------------

struct OpenCase {
  const char* name;
  const char* ini;
  const char* com;
  const char* baund;
  bool usb;
};

class SetportOpens : public ::testing::TestWithParam<OpenCase> {};

TEST_P(SetportOpens, FillsItsControlsFromTheFile) {
  const OpenCase& c = GetParam();
  SetIni(c.ini);
  struct Seen {
    std::wstring page, com, baund, label5, label6, ckusb, set, quit;
    int comCount = 0, baundCount = 0;
    bool checked = false, comEnabled = false, baundEnabled = false, label5Enabled = false, label6Enabled = false;
    std::vector<std::wstring> comItems, baundItems;
    RECT client{};
  } seen;
  Modal m;
  m.onDialog = [&](HWND dlg, const std::wstring&) {
    auto text = [dlg](int id) { return WindowTextOf(::GetDlgItem(dlg, id)); };
    HWND com = ::GetDlgItem(dlg, IDC_CBCOM), baund = ::GetDlgItem(dlg, IDC_CBBAUND);
    wchar_t page[64] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = page;
    item.cchTextMax = 64;
    ::SendMessageW(::GetDlgItem(dlg, IDC_PAGECONTROL1), TCM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    seen.page = page;
    seen.com = text(IDC_CBCOM);
    seen.baund = text(IDC_CBBAUND);
    seen.label5 = text(IDC_LABEL5);
    seen.label6 = text(IDC_LABEL6);
    seen.ckusb = text(IDC_CKUSB);
    seen.set = text(IDC_BTNSET);
    seen.quit = text(IDC_BTNQUIT);
    seen.checked = ::SendMessageW(::GetDlgItem(dlg, IDC_CKUSB), BM_GETCHECK, 0, 0) == BST_CHECKED;
    seen.comEnabled = ::IsWindowEnabled(com);
    seen.baundEnabled = ::IsWindowEnabled(baund);
    seen.label5Enabled = ::IsWindowEnabled(::GetDlgItem(dlg, IDC_LABEL5));
    seen.label6Enabled = ::IsWindowEnabled(::GetDlgItem(dlg, IDC_LABEL6));
    for (int i = 0, n = static_cast<int>(::SendMessageW(com, CB_GETCOUNT, 0, 0)); i < n; ++i) {
      wchar_t b[32] = {};
      ::SendMessageW(com, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(b));
      seen.comItems.push_back(b);
    }
    for (int i = 0, n = static_cast<int>(::SendMessageW(baund, CB_GETCOUNT, 0, 0)); i < n; ++i) {
      wchar_t b[32] = {};
      ::SendMessageW(baund, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(b));
      seen.baundItems.push_back(b);
    }
    ::GetClientRect(dlg, &seen.client);
    Later(20, [dlg] { ::SendMessageW(::GetDlgItem(dlg, IDC_BTNQUIT), BM_CLICK, 0, 0); });
  };
  TForm_setport dialog;
  EXPECT_EQ(dialog.ShowModal(nullptr), IDCANCEL);
  EXPECT_EQ(seen.page, W("读卡器端口"));
  EXPECT_EQ(Utf8(seen.com), c.com);
  EXPECT_EQ(Utf8(seen.baund), c.baund);
  EXPECT_EQ(seen.checked, c.usb);
  for (bool on : {seen.comEnabled, seen.baundEnabled, seen.label5Enabled, seen.label6Enabled}) EXPECT_EQ(on, !c.usb);
  EXPECT_EQ(seen.comItems, (std::vector<std::wstring>{L"COM1", L"COM2", L"COM3", L"COM4", L"COM5", L"COM6", L"COM7",
                                                     L"COM8"}));
  EXPECT_EQ(seen.baundItems, (std::vector<std::wstring>{L"9600", L"38400", L"115200"}));
  EXPECT_EQ(seen.label5, W("端 口"));
  EXPECT_EQ(seen.label6, W("波 特 率"));
  EXPECT_EQ(seen.ckusb, W("USB端口"));
  EXPECT_EQ(seen.set, W("保存"));
  EXPECT_EQ(seen.quit, W("关闭"));
  EXPECT_EQ(seen.client.right, 360);
  EXPECT_EQ(seen.client.bottom, 186);
  EXPECT_TRUE(m.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, SetportOpens,
    ::testing::Values(OpenCase{"NoFile", nullptr, "COM1", "9600", false},
                      OpenCase{"UsbInSmallLetters", "[READER]\nPORT=usb\n[COM]\nport=COM4\n", "COM1", "9600", false},
                      OpenCase{"UsbShowsTheDesignValues", "[READER]\nPORT=USB\n[COM]\nport=COM3\nbaund=38400\n",
                               "COM1", "9600", true},
                      OpenCase{"Serial", "[READER]\nPORT=COM\n[COM]\nport=COM3\nbaund=115200\n", "COM3", "115200",
                               false},
                      OpenCase{"ValuesNotOfferedLeaveNoSelection",
                               "[READER]\nPORT=COM\n[COM]\nport=COM12\nbaund=19200\n", "", "", false},
                      OpenCase{"ItemsMatchWithCase", "[READER]\nPORT=COM\n[COM]\nport=com2\n", "", "9600", false}),
    [](const ::testing::TestParamInfo<OpenCase>& i) { return std::string(i.param.name); });

struct SaveCase {
  const char* name;
  const char* ini;
  bool toggleUsb;
  int comIndex;    // -2: leave it
  int baundIndex;  // -2: leave it
  const char* port;
  const char* comPort;
  const char* comBaund;
  // A folder stands where the file would be: saving is the write's error, and no "设置完毕!".
  bool unwritable = false;
};

class SetportSaves : public ::testing::TestWithParam<SaveCase> {};

TEST_P(SetportSaves, WritesTheKeysOrSaysWhyNotAndStaysOpen) {
  const SaveCase& c = GetParam();
  SetIni(c.ini);
  struct Folder {
    bool made;
    ~Folder() {
      if (made) ::RemoveDirectoryW(IniPath().c_str());
    }
  } folder{c.unwritable && ::CreateDirectoryW(IniPath().c_str(), nullptr)};
  ASSERT_EQ(folder.made, c.unwritable);
  bool openAfterSave = false;
  HWND dialogHwnd = nullptr;
  Modal m;
  m.onDialog = [&](HWND dlg, const std::wstring&) {
    dialogHwnd = dlg;
    Later(20, [&c, dlg] {
      if (c.toggleUsb) ::SendMessageW(::GetDlgItem(dlg, IDC_CKUSB), BM_CLICK, 0, 0);
      if (c.comIndex != -2) ::SendMessageW(::GetDlgItem(dlg, IDC_CBCOM), CB_SETCURSEL, c.comIndex, 0);
      if (c.baundIndex != -2) ::SendMessageW(::GetDlgItem(dlg, IDC_CBBAUND), CB_SETCURSEL, c.baundIndex, 0);
      ::PostMessageW(::GetDlgItem(dlg, IDC_BTNSET), BM_CLICK, 0, 0);
    });
  };
  m.afterBox = [&] {
    openAfterSave = ::IsWindow(dialogHwnd) && ::IsWindowVisible(dialogHwnd);
    ::SendMessageW(::GetDlgItem(dialogHwnd, IDC_BTNQUIT), BM_CLICK, 0, 0);
  };
  TForm_setport dialog;
  dialog.ShowModal(nullptr);
  ASSERT_EQ(m.boxes.size(), 1u);
  EXPECT_EQ(m.boxes[0].text,
            c.unwritable ? W("无法写入文件 \"") + IniPath() + W("\"。访问被拒绝。") : W("设置完毕!"))
      << Utf8(m.boxes[0].text);
  EXPECT_EQ(m.boxes[0].caption, W("Tesmo二代身份验证"));
  EXPECT_TRUE(openAfterSave);
  EXPECT_EQ(IniValue(L"READER", L"PORT"), c.port);
  EXPECT_EQ(IniValue(L"COM", L"port"), c.comPort);
  EXPECT_EQ(IniValue(L"COM", L"baund"), c.comBaund);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, SetportSaves,
    ::testing::Values(
        SaveCase{"SerialChoiceWritesAllThree", nullptr, false, 2, 1, "COM", "COM3", "38400"},
        SaveCase{"UsbWritesOnlyTheKind", "[READER]\nPORT=COM\n[COM]\nport=COM5\nbaund=115200\n", true, -2, -2,
                 "USB", "COM5", "115200"},
        SaveCase{"UncheckingUsbWritesTheDesignValues", "[READER]\nPORT=USB\n[COM]\nport=COM3\nbaund=38400\n", true,
                 -2, -2, "COM", "COM1", "9600"},
        SaveCase{"UnofferedPortSavedWithoutChoosingIsEmpty", "[READER]\nPORT=COM\n[COM]\nport=COM12\nbaund=38400\n",
                 false, -2, -2, "COM", "", "38400"},
        SaveCase{"UnwritableSerial", nullptr, false, 2, 1, "<none>", "<none>", "<none>", true},
        SaveCase{"UnwritableUsb", nullptr, true, -2, -2, "<none>", "<none>", "<none>", true}),
    [](const ::testing::TestParamInfo<SaveCase>& i) { return std::string(i.param.name); });

// ---- about box and start-up picture ------------------------------------------------------

TEST(AboutBox, ShowsItsLabelsAndTheLogoWithoutItsCornerColourWherever) {
  struct Seen {
    std::wstring caption, label1, label2, button;
    RECT client{}, image{}, label1Rect{}, button1Rect{};
    COLORREF corner = 0, hole = 0, ring = 0, band = 0, gold = 0, face = 0;
    bool closedByButton = false;
  } seen;
  Modal m;
  m.onDialog = [&](HWND dlg, const std::wstring& caption) {
    seen.caption = caption;
    Later(150, [&seen, dlg] {
      ::UpdateWindow(dlg);
      auto rectOf = [dlg](int id) {
        RECT r{};
        HWND c = ::GetDlgItem(dlg, id);
        ::GetWindowRect(c, &r);
        ::MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
        return r;
      };
      seen.label1 = WindowTextOf(::GetDlgItem(dlg, IDC_ABOUT_LABEL1));
      seen.label2 = WindowTextOf(::GetDlgItem(dlg, IDC_ABOUT_LABEL2));
      seen.button = WindowTextOf(::GetDlgItem(dlg, IDC_ABOUT_BUTTON1));
      ::GetClientRect(dlg, &seen.client);
      seen.image = rectOf(IDC_ABOUT_IMAGE1);
      seen.label1Rect = rectOf(IDC_ABOUT_LABEL1);
      seen.button1Rect = rectOf(IDC_ABOUT_BUTTON1);
      WindowDc dc(dlg);
      // The logo (145 x 127) stretched to 65 x 55 at (16, 10): its corner colour comes back
      // in a hole at its centre; rings of blue and gold and a red band are the picture.
      seen.corner = ::GetPixel(dc.get(), 17, 11);
      seen.hole = ::GetPixel(dc.get(), 16 + 32, 10 + 27);
      seen.ring = ::GetPixel(dc.get(), 16 + 32, 10 + 38);
      seen.gold = ::GetPixel(dc.get(), 16 + 32, 10 + 44);
      seen.band = ::GetPixel(dc.get(), 16 + 32, 10 + 50);
      seen.face = ::GetSysColor(COLOR_BTNFACE);
      ::SendMessageW(::GetDlgItem(dlg, IDC_ABOUT_BUTTON1), BM_CLICK, 0, 0);
      seen.closedByButton = true;
    });
  };
  TForm_about about;
  EXPECT_EQ(about.ShowModal(nullptr), IDOK);
  EXPECT_TRUE(seen.closedByButton);
  EXPECT_EQ(seen.caption, W("关于..."));
  EXPECT_EQ(seen.label1, W("Tesmo验证软件"));
  EXPECT_EQ(seen.label2, L"Version 6.5");
  EXPECT_EQ(seen.button, W("确定"));
  EXPECT_EQ(seen.client.right, 300);
  EXPECT_EQ(seen.client.bottom, 153);
  EXPECT_EQ(seen.image.left, 16);
  EXPECT_EQ(seen.image.top, 10);
  EXPECT_EQ(seen.image.right - seen.image.left, 65);
  EXPECT_EQ(seen.image.bottom - seen.image.top, 55);
  EXPECT_EQ(seen.label1Rect.left, 150);
  EXPECT_EQ(seen.label1Rect.top, 13);
  EXPECT_EQ(seen.button1Rect.left, 206);
  EXPECT_EQ(seen.button1Rect.top, 120);
  EXPECT_EQ(about.TransparentColor(), RGB(0, 128, 128));
  EXPECT_EQ(seen.corner, seen.face);
  EXPECT_EQ(seen.hole, seen.face);
  EXPECT_EQ(seen.ring, RGB(30, 60, 200));
  EXPECT_EQ(seen.gold, RGB(250, 200, 40));
  EXPECT_EQ(seen.band, RGB(200, 30, 40));
}

bool Near(COLORREF c, int r, int g, int b, int tolerance = 16) {
  return std::abs(GetRValue(c) - r) <= tolerance && std::abs(GetGValue(c) - g) <= tolerance &&
         std::abs(GetBValue(c) - b) <= tolerance;
}

TEST(StartUpPicture, TakesThePicturesSizeAndShowsItUnderTheLabel) {
  TForm_SysStart splash;
  splash.Create();
  RECT r{};
  ::GetWindowRect(splash.hwnd(), &r);
  EXPECT_EQ(r.right - r.left, 579);  // the design size until it is shown
  EXPECT_EQ(splash.PictureSize().cx, 580);
  EXPECT_EQ(splash.PictureSize().cy, 377);
  EXPECT_EQ(::GetWindowLongW(splash.hwnd(), GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME | WS_BORDER), 0);

  splash.Show();
  EXPECT_TRUE(::IsWindowVisible(splash.hwnd()));
  ::GetWindowRect(splash.hwnd(), &r);
  EXPECT_EQ(r.right - r.left, 580);
  EXPECT_EQ(r.bottom - r.top, 377);

  HWND label = splash.Label1();
  EXPECT_EQ(WindowTextOf(label), L"5");
  RECT lr{};
  ::GetWindowRect(label, &lr);
  ::MapWindowPoints(nullptr, splash.hwnd(), reinterpret_cast<POINT*>(&lr), 2);
  EXPECT_EQ(lr.left, 533);
  EXPECT_EQ(lr.top, 256);

  // Painted at once: the picture's red band, the white of its check mark, the label's cream.
  WindowDc dc(splash.hwnd());
  EXPECT_TRUE(Near(::GetPixel(dc.get(), 100, 20), 200, 30, 40));
  EXPECT_TRUE(Near(::GetPixel(dc.get(), 470, 200), 255, 255, 255));
  EXPECT_EQ(::GetPixel(dc.get(), lr.left, lr.top), RGB(255, 251, 240));
}

TEST(StartUpPicture, BytesThatAreNoJpegAreAnError) {
  const std::vector<std::uint8_t> junk = {0xFF, 0xD8, 0x00, 0x01, 0x02};
  EXPECT_THROW(qx::kestrin::DecodeJpeg(junk, nullptr), std::runtime_error);
  EXPECT_THROW(qx::kestrin::DecodeJpeg({}, nullptr), std::runtime_error);
}

TEST(Conversion, StrToIntTakesDecimalIntegersOnly) {
  using qx::kestrin::StrToInt;
  EXPECT_EQ(StrToInt(L"12"), 12);
  EXPECT_EQ(StrToInt(L"-7"), -7);
  EXPECT_EQ(StrToInt(L"+0"), 0);
  EXPECT_EQ(StrToInt(L"2147483647"), 2147483647);
  for (const wchar_t* bad : {L"", L"-", L"1 ", L"0x10", L"2147483648", L"１２", L"12a"}) {
    try {
      StrToInt(bad);
      ADD_FAILURE() << Utf8(bad);
    } catch (const qx::kestrin::ConvertError& e) {
      EXPECT_EQ(e.text(), L"'" + std::wstring(bad) + W("' 不是有效的整数值"));
    }
  }
}

}  // namespace

// Runs the tests from a fresh folder holding a copy of this program and the reader simulators.
int main(int argc, char** argv) {
  // The templates and the reader simulators lie beside the program, as they ship.
  if (const auto code = RerunInFreshFolder(argc, argv, L"QX_KSHELL_AT_HOME", L"kshell-forms",
                                           {L"sdtapi.dll", L"WltRS.dll", L"show.bmp", L"bkF.bmp",
                                            L"bkB.bmp", L"da.bmp"}))
    return *code;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
