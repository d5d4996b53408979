// The shared framework: window linking, typed handlers and command tables,
// dialogs seen from their creation, the run-time error report.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <vector>

#include "HeldTimer.h"
#include "TestSupport.h"
#include "win/App.h"
#include "win/CodeDialog.h"
#include "win/Controls.h"
#include "win/Dialog.h"
#include "win/RunTimeError.h"
#include "win/Window.h"

using namespace qx::win;
using qx::test::FlushEvents;
using qx::test::Utf8;

namespace {

class Recorder : public Window {
 public:
  std::vector<UINT> seen;
  bool failCreate = false;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override {
    seen.push_back(msg);
    if (msg == WM_CREATE && failCreate) return -1;
    if (msg == WM_USER + 1) throw std::runtime_error("handler fault");
    if (msg == WM_USER + 2) return 77;
    return Default(msg, wp, lp);
  }
};

TEST(Window, LinksAtCreationAndUnlinksAtDestruction) {
  Recorder w;
  ASSERT_TRUE(w.CreateEx(WS_EX_TOOLWINDOW, L"qx_test_window", WS_POPUP, 0, 0, 0, 0));
  EXPECT_EQ(Window::FromHandle(w.hwnd()), &w);
  EXPECT_EQ(::FindWindowA(nullptr, "qx_test_window"), w.hwnd());
  EXPECT_EQ(::SendMessageW(w.hwnd(), WM_USER + 2, 0, 0), 77);
  // An exception in a handler stops at the boundary.
  EXPECT_EQ(::SendMessageW(w.hwnd(), WM_USER + 1, 0, 0), 0);
  HWND h = w.hwnd();
  EXPECT_TRUE(w.Destroy());
  EXPECT_EQ(w.hwnd(), nullptr);
  EXPECT_FALSE(::IsWindow(h));
  EXPECT_EQ(w.seen.back(), static_cast<UINT>(WM_NCDESTROY));
}

TEST(Window, FailedCreateLeavesNoWindow) {
  Recorder w;
  w.failCreate = true;
  EXPECT_FALSE(w.CreateEx(0, L"qx_test_failing", WS_POPUP, 0, 0, 0, 0));
  EXPECT_EQ(w.hwnd(), nullptr);
  EXPECT_EQ(::FindWindowA(nullptr, "qx_test_failing"), nullptr);
}

TEST(Window, DestructorDestroysAWindowThatStillExists) {
  HWND h;
  {
    Recorder w;
    ASSERT_TRUE(w.CreateEx(0, L"qx_test_owned", WS_POPUP, 0, 0, 0, 0));
    h = w.hwnd();
  }
  EXPECT_FALSE(::IsWindow(h));
}

class TestDialog : public Dialog {
 public:
  TestDialog() : Dialog(200) {}
  std::vector<UINT> seen;
  bool failCreate = false;
  bool initSawCreate = false;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override {
    seen.push_back(msg);
    if (msg == WM_CREATE && failCreate) return -1;
    if (msg == WM_TIMER) {
      ::KillTimer(hwnd(), 1);
      ::PostMessageW(hwnd(), WM_CLOSE, 0, 0);
      return 0;
    }
    return Dialog::HandleMessage(msg, wp, lp);
  }
  BOOL OnInitDialog() override {
    for (UINT m : seen) initSawCreate |= m == WM_CREATE;
    ::SetTimer(hwnd(), 1, 10, nullptr);
    return TRUE;
  }
};

TEST(Dialog, SeesCreateBeforeInitAndEndsOnCloseAsCancel) {
  TestDialog d;
  EXPECT_EQ(d.DoModal(), IDCANCEL);
  EXPECT_TRUE(d.initSawCreate);
  EXPECT_EQ(d.hwnd(), nullptr);
}

TEST(Dialog, FailedCreateEndsTheModalRunAtOnce) {
  TestDialog d;
  d.failCreate = true;
  EXPECT_EQ(d.DoModal(), -1);
  EXPECT_FALSE(d.initSawCreate);
}

// ---- destruction seen by the derived class ----

// Writes what it sees to a log that outlives the object.
class EndWatcher : public Window {
 public:
  explicit EndWatcher(std::vector<UINT>& log) : log_(log) {}

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_DESTROY || msg == WM_NCDESTROY) log_.push_back(msg);
    return Default(msg, wp, lp);
  }
  void OnFinalDestroy() override { log_.push_back(0); }

 private:
  std::vector<UINT>& log_;
};

class EndWatcherApp : public App {
 public:
  explicit EndWatcherApp(std::vector<UINT>& log) : window_(log) {}
  bool InitInstance() override {
    if (!window_.CreateEx(WS_EX_TOOLWINDOW, L"qx_test_main", WS_POPUP, 0, 0, 0, 0)) return false;
    SetMainWindow(&window_);
    ::PostQuitMessage(3);
    return true;
  }
  HWND MainHandle() const { return window_.hwnd(); }

 private:
  EndWatcher window_;
};

// The program's main window ends while its object is whole, whatever ended the loop.
TEST(App, MainWindowSeesItsOwnEnd) {
  std::vector<UINT> log;
  EndWatcherApp app(log);
  EXPECT_EQ(app.Run(), 3);
  EXPECT_EQ(app.MainHandle(), nullptr);
  EXPECT_EQ(log, (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY, 0}));
}

// The base's own destruction of a window left behind dispatches nothing into the object.
TEST(Window, WindowLeftBehindGoesWithoutHandlers) {
  std::vector<UINT> log;
  HWND h;
  {
    EndWatcher w(log);
    ASSERT_TRUE(w.CreateEx(0, L"qx_test_left", WS_POPUP, 0, 0, 0, 0));
    h = w.hwnd();
  }
  EXPECT_FALSE(::IsWindow(h));
  EXPECT_TRUE(log.empty());
}

class StartFailingApp : public App {
  bool InitInstance() override { throw std::runtime_error("start"); }
};

TEST(App, StartThatRaisesIsAFailure) {
  StartFailingApp app;
  EXPECT_EQ(app.Run(), 1);
}

// ---- errors while a window is being made ----

class Thrower : public Window {
 public:
  explicit Thrower(UINT throwAt) : at(throwAt) {}
  UINT at;  // the message that throws; 0: none
  std::vector<UINT> seen;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override {
    seen.push_back(msg);
    if (at && msg == at) throw std::runtime_error("made badly");
    return Default(msg, wp, lp);
  }
};

TEST(Window, ErrorWhileBeingMadeFailsTheCreationAndReachesTheCaller) {
  for (UINT at : {static_cast<UINT>(WM_NCCREATE), static_cast<UINT>(WM_CREATE)}) {
    SCOPED_TRACE(at);
    Thrower w(at);
    try {
      w.CreateEx(0, L"qx_test_thrower", WS_POPUP, 0, 0, 0, 0);
      ADD_FAILURE() << "no error reached the caller";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "made badly");
    }
    EXPECT_EQ(w.hwnd(), nullptr);
    EXPECT_FALSE(w.exists());
    EXPECT_EQ(::FindWindowA(nullptr, "qx_test_thrower"), nullptr);
    // The same object can be made again, and then it works: linked to its new window, with
    // no error of the failed creation left over.
    w.at = 0;
    w.seen.clear();
    EXPECT_TRUE(w.CreateEx(0, L"qx_test_after", WS_POPUP, 0, 0, 0, 0));
    EXPECT_TRUE(w.exists());
    EXPECT_EQ(Window::FromHandle(w.hwnd()), &w);
    EXPECT_EQ(::SendMessageW(w.hwnd(), WM_NULL, 0, 0), 0);
    ASSERT_FALSE(w.seen.empty());
    EXPECT_EQ(w.seen.back(), static_cast<UINT>(WM_NULL));
  }
}

class InitThrowingDialog : public Dialog {
 public:
  InitThrowingDialog() : Dialog(200) {}

 protected:
  BOOL OnInitDialog() override {
    // Without the failure the dialog would run; this ends it.
    ::PostMessageW(hwnd(), WM_COMMAND, IDCANCEL, 0);
    throw std::runtime_error("init");
  }
};

TEST(Dialog, ErrorInInitEndsTheRunAndReachesTheCaller) {
  InitThrowingDialog d;
  EXPECT_THROW(d.DoModal(), std::runtime_error);
  EXPECT_EQ(d.hwnd(), nullptr);
  EXPECT_EQ(::FindWindowA(nullptr, "Framework test"), nullptr);
  FlushEvents(0);
}

class InitThrowingCodeDialog : public CodeDialog {
 public:
  InitThrowingCodeDialog() : CodeDialog(L"qx_test_code_throw", WS_CAPTION | WS_SYSMENU, 200, 100) {}

 protected:
  BOOL OnInitDialog() override {
    ::PostMessageW(hwnd(), WM_COMMAND, IDCANCEL, 0);
    throw std::runtime_error("init");
  }
};

TEST(CodeDialog, ErrorInInitFailsModalAndModelessCreation) {
  {
    InitThrowingCodeDialog d;
    EXPECT_THROW(d.DoModal(), std::runtime_error);
    EXPECT_EQ(d.hwnd(), nullptr);
  }
  {
    InitThrowingCodeDialog d;
    EXPECT_THROW(d.CreateModeless(), std::runtime_error);
    EXPECT_EQ(d.hwnd(), nullptr);
    EXPECT_EQ(::FindWindowW(nullptr, L"qx_test_code_throw"), nullptr);
  }
  FlushEvents(0);
}

// ---- keyboard of modeless dialogs ----

class KeyDialog : public CodeDialog {
 public:
  KeyDialog() : CodeDialog(L"qx_test_keys", WS_CAPTION | WS_SYSMENU, 240, 120) {}
  std::vector<int> commands;
  HWND first = nullptr, second = nullptr, run = nullptr;

 protected:
  BOOL OnInitDialog() override {
    first = EditOf(10, 10, 101);
    second = EditOf(10, 40, 102);
    run = Button::Create(hwnd(), 103, L"Run", RECT{130, 10, 210, 34}).hwnd();
    return TRUE;
  }
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_COMMAND && HIWORD(wp) == BN_CLICKED) commands.push_back(LOWORD(wp));
    return CodeDialog::HandleMessage(msg, wp, lp);
  }

 private:
  HWND EditOf(int x, int y, int id) {
    return ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, x, y, 100, 22,
                             hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             ::GetModuleHandleW(nullptr), nullptr);
  }
};

void PostKey(UINT vk) {
  HWND focus = ::GetFocus();
  ::PostMessageW(focus, WM_KEYDOWN, vk, 1);
  ::PostMessageW(focus, WM_KEYUP, vk, 0xC0000001);
}

// Tab moves the focus, Enter presses the focused button, Esc closes the dialog, through the
// framework's loop as through the test's pump.
TEST(CodeDialog, ModelessDialogTakesTabEnterAndEsc) {
  for (bool frameworkLoop : {true, false}) {
    SCOPED_TRACE(frameworkLoop ? "framework loop" : "test pump");
    auto pump = [&] {
      if (frameworkLoop)
        PumpWaitingMessages();
      else
        FlushEvents(0);
    };
    KeyDialog d;
    ASSERT_TRUE(d.CreateModeless());
    ::SetForegroundWindow(d.hwnd());
    ::SetFocus(d.first);
    ASSERT_EQ(::GetFocus(), d.first);
    PostKey(VK_TAB);
    pump();
    EXPECT_EQ(::GetFocus(), d.second);
    PostKey(VK_TAB);
    pump();
    ASSERT_EQ(::GetFocus(), d.run);
    PostKey(VK_RETURN);
    pump();
    EXPECT_EQ(d.commands, std::vector<int>{103});
    EXPECT_TRUE(d.exists());
    PostKey(VK_ESCAPE);
    pump();
    EXPECT_FALSE(d.exists());
    EXPECT_EQ(d.commands, (std::vector<int>{103, IDCANCEL}));
  }
}

// ---- owner-drawn buttons ----

class ButtonHost : public Window {
 public:
  std::vector<int> codes;
  Button button;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_CREATE) button = Button::CreateOwnerDrawn(hwnd(), 7, L"Read", RECT{0, 0, 80, 60});
    if (msg == WM_COMMAND && LOWORD(wp) == 7) codes.push_back(HIWORD(wp));
    if (msg == WM_DRAWITEM) {
      DrawIconButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp), nullptr);
      return TRUE;
    }
    return Default(msg, wp, lp);
  }
};

// A double click is two presses, each one click.
TEST(Button, OwnerDrawnButtonMakesEveryPressAClick) {
  ButtonHost host;
  ASSERT_TRUE(host.CreateEx(0, L"qx_test_buttons", WS_POPUP | WS_VISIBLE, 0, 0, 100, 80));
  HWND b = host.button.hwnd();
  ASSERT_NE(b, nullptr);
  const LPARAM at = MAKELPARAM(10, 10);
  ::SendMessageW(b, WM_LBUTTONDOWN, MK_LBUTTON, at);
  ::SendMessageW(b, WM_LBUTTONUP, 0, at);
  ::SendMessageW(b, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  ::SendMessageW(b, WM_LBUTTONUP, 0, at);
  FlushEvents(0);
  EXPECT_EQ(host.codes, (std::vector<int>{BN_CLICKED, BN_CLICKED}));
}

// ---- typed handlers ----

constexpr UINT kProgramMsg = WM_APP + 7;
constexpr UINT kThrowingMsg = WM_APP + 8;

// Writes down which handler saw what; answers as each case asks.
class Typed : public Window {
 public:
  std::vector<std::string> log;
  bool take = true;

 protected:
  bool OnCreate(const CREATESTRUCTW& cs) override {
    log.push_back("create " + Utf8(cs.lpszName));
    return true;
  }
  bool OnCommand(int id, int code, HWND control) override {
    if (Window::OnCommand(id, code, control)) return true;
    log.push_back("command " + std::to_string(id) + " " + std::to_string(code) +
                  (control ? " control" : ""));
    return take;
  }
  std::optional<LRESULT> OnNotify(const NMHDR& nm) override {
    log.push_back("notify " + std::to_string(nm.idFrom) + " " + std::to_string(static_cast<int>(nm.code)));
    return take ? std::optional<LRESULT>(55) : std::nullopt;
  }
  bool OnTimer(UINT_PTR id) override {
    log.push_back("timer " + std::to_string(id));
    return take;
  }
  std::optional<LRESULT> OnCopyData(HWND sender, const COPYDATASTRUCT& data) override {
    log.push_back("copydata " + std::to_string(data.dwData) + " " +
                  std::string(static_cast<const char*>(data.lpData), data.cbData) +
                  (sender == hwnd() ? " self" : ""));
    return take ? std::optional<LRESULT>(TRUE) : std::nullopt;
  }
  bool OnClose() override {
    log.push_back("close");
    return take;
  }
  void OnDestroy() override { log.push_back("destroy"); }
  void OnSize(UINT type, int w, int h) override {
    log.push_back("size " + std::to_string(type) + " " + std::to_string(w) + "x" + std::to_string(h));
  }
  bool OnSysCommand(UINT command, LPARAM) override {
    log.push_back("syscommand " + std::to_string(command));
    return take;
  }
  void OnClick() { log.push_back("click"); }
  void OnOther() { log.push_back("other"); }
  void OnChange() { log.push_back("change"); }
  LRESULT OnProgramMsg(WPARAM wp, LPARAM lp) {
    log.push_back("program " + std::to_string(wp) + " " + std::to_string(lp));
    return 99;
  }
  LRESULT OnThrowingMsg(WPARAM, LPARAM) { throw std::runtime_error("handler fault"); }
  CommandTable Commands() const override {
    static const CommandEntry kCommands[] = {
        Command(101, &Typed::OnClick),
        Command(102, &Typed::OnOther),
        Command(103, &Typed::OnChange, EN_CHANGE),
    };
    return kCommands;
  }
  MessageTable Messages() const override {
    static const MessageEntry kMessages[] = {
        Message(kProgramMsg, &Typed::OnProgramMsg),
        Message(kThrowingMsg, &Typed::OnThrowingMsg),
    };
    return kMessages;
  }
};

// Each message reaches its handler with its parts cracked; what the handler gives back is the
// message's result, and what it leaves goes to the default processing.
TEST(TypedHandlers, MessagesReachTheirHandlersCracked) {
  Typed w;
  ASSERT_TRUE(w.CreateEx(WS_EX_TOOLWINDOW, L"qx_test_typed", WS_POPUP, 0, 0, 0, 0));
  ASSERT_FALSE(w.log.empty());
  EXPECT_EQ(w.log.front(), "create qx_test_typed");
  HWND h = w.hwnd();
  HWND fakeControl = h;  // any window handle stands for the control that sent it
  NMHDR nm{fakeControl, 12, static_cast<UINT>(-5)};
  char payload[] = "abc";
  COPYDATASTRUCT cds{7, 3, payload};
  struct Case {
    UINT msg;
    WPARAM wp;
    LPARAM lp;
    const char* seen;
    LRESULT taken;  // the result when the handler takes the message
  };
  const Case cases[] = {
      {WM_COMMAND, MAKEWPARAM(500, 0), 0, "command 500 0", 0},
      {WM_COMMAND, MAKEWPARAM(501, 1), 0, "command 501 1", 0},
      {WM_COMMAND, MAKEWPARAM(502, EN_KILLFOCUS), reinterpret_cast<LPARAM>(fakeControl),
       "command 502 512 control", 0},
      {WM_NOTIFY, 12, reinterpret_cast<LPARAM>(&nm), "notify 12 -5", 55},
      {WM_TIMER, 9, 0, "timer 9", 0},
      {WM_COPYDATA, reinterpret_cast<WPARAM>(h), reinterpret_cast<LPARAM>(&cds), "copydata 7 abc self", TRUE},
      {WM_SIZE, SIZE_RESTORED, MAKELPARAM(30, 40), "size 0 30x40", 0},
      {WM_SYSCOMMAND, 0x0013, 0, "syscommand 16", 0},
  };
  for (bool take : {true, false}) {
    w.take = take;
    for (const Case& c : cases) {
      SCOPED_TRACE(c.seen);
      w.log.clear();
      const LRESULT r = ::SendMessageW(h, c.msg, c.wp, c.lp);
      EXPECT_EQ(w.log, std::vector<std::string>{c.seen});
      // Left to the default processing, none of them has a result.
      EXPECT_EQ(r, take ? c.taken : 0);
    }
  }
  // A close taken keeps the window; one left to the default destroys it.
  w.take = true;
  w.log.clear();
  ::SendMessageW(h, WM_CLOSE, 0, 0);
  EXPECT_TRUE(w.exists());
  w.take = false;
  w.log.clear();
  ::SendMessageW(h, WM_CLOSE, 0, 0);
  EXPECT_FALSE(::IsWindow(h));
  EXPECT_EQ(w.log, (std::vector<std::string>{"close", "destroy"}));
}

class FailingCreate : public Window {
 protected:
  bool OnCreate(const CREATESTRUCTW&) override { return false; }
};

TEST(TypedHandlers, CreateHandlerThatFailsFailsTheCreation) {
  FailingCreate w;
  EXPECT_FALSE(w.CreateEx(0, L"qx_test_typed_fail", WS_POPUP, 0, 0, 0, 0));
  EXPECT_EQ(w.hwnd(), nullptr);
  EXPECT_EQ(::FindWindowA(nullptr, "qx_test_typed_fail"), nullptr);
}

// Menu items, accelerators and button clicks run an entry of the table; a control's other
// notifications run only an entry made for their code. The rest is left to OnCommand.
TEST(CommandTable, IdsAndCodesRunTheirMembers) {
  Typed w;
  ASSERT_TRUE(w.CreateEx(WS_EX_TOOLWINDOW, L"qx_test_table", WS_POPUP, 0, 0, 0, 0));
  const LPARAM control = reinterpret_cast<LPARAM>(w.hwnd());
  struct Case {
    int id, code;
    LPARAM control;
    const char* seen;
  };
  const Case cases[] = {
      {101, 0, 0, "click"},                     // menu item
      {101, 1, 0, "click"},                     // accelerator
      {101, BN_CLICKED, control, "click"},      // button
      {102, 0, 0, "other"},
      {101, 1, control, "command 101 1 control"},  // a control's code 1 is no accelerator
      {101, EN_CHANGE, control, "command 101 768 control"},
      {103, EN_CHANGE, control, "change"},
      {103, BN_CLICKED, control, "command 103 0 control"},
      {104, 0, 0, "command 104 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seen);
    w.log.clear();
    ::SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(c.id, c.code), c.control);
    EXPECT_EQ(w.log, std::vector<std::string>{c.seen});
  }
}

TEST(CommandTable, ProgramMessagesRunTheirMembersAndStopErrorsAtTheBoundary) {
  Typed w;
  ASSERT_TRUE(w.CreateEx(WS_EX_TOOLWINDOW, L"qx_test_messages", WS_POPUP, 0, 0, 0, 0));
  w.log.clear();
  EXPECT_EQ(::SendMessageW(w.hwnd(), kProgramMsg, 3, 4), 99);
  EXPECT_EQ(w.log, std::vector<std::string>{"program 3 4"});
  EXPECT_EQ(::SendMessageW(w.hwnd(), kThrowingMsg, 0, 0), 0);
  EXPECT_TRUE(w.exists());
}

// A window that gives its handlers a boundary of its own: each handler of the tables runs
// through it, and it may hold one back.
class HeldBack : public Typed {
 public:
  int runs = 0;
  bool hold = false;

 protected:
  void RunEvent(const std::function<void()>& handler) override {
    ++runs;
    if (!hold) handler();
  }
};

TEST(CommandTable, HandlersRunThroughTheWindowsBoundary) {
  HeldBack w;
  ASSERT_TRUE(w.CreateEx(WS_EX_TOOLWINDOW, L"qx_test_guarded", WS_POPUP, 0, 0, 0, 0));
  w.log.clear();
  ::SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(101, 0), 0);
  EXPECT_EQ(::SendMessageW(w.hwnd(), kProgramMsg, 1, 2), 99);
  EXPECT_EQ(w.runs, 2);
  EXPECT_EQ(w.log, (std::vector<std::string>{"click", "program 1 2"}));
  w.hold = true;
  w.log.clear();
  // Held back, the command is still the table's: it does not reach OnCommand.
  ::SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(101, 0), 0);
  EXPECT_EQ(w.runs, 3);
  EXPECT_TRUE(w.log.empty());
}

// The tests' hold on a timer: the platform's ticks stay out until it is released.
TEST(TestSupport, HeldTimerLetsTicksThroughOnlyWhenReleased) {
  Typed w;
  w.take = true;
  ASSERT_TRUE(w.CreateEx(WS_EX_TOOLWINDOW, L"qx_test_held", WS_POPUP, 0, 0, 0, 0));
  qx::test::HeldTimer held(5);
  held.Watch(w.hwnd());
  ::SetTimer(w.hwnd(), 5, 10, nullptr);
  w.log.clear();
  FlushEvents(150);
  EXPECT_TRUE(w.log.empty());
  held.Release();
  EXPECT_TRUE(qx::test::WaitUntil([&] { return !w.log.empty(); }, 2000));
  EXPECT_EQ(w.log.front(), "timer 5");
  ::KillTimer(w.hwnd(), 5);
}

// ---- both kinds of dialog, made the same way ----

// The dialog's own table comes before IDOK and IDCANCEL; what is left of them ends the dialog.
template <typename Base>
class TableDialog : public Base {
 public:
  using Base::Base;
  std::vector<std::string> log;
  bool sawCreate = false;
  bool linkedAtInit = false;

 protected:
  bool OnCreate(const CREATESTRUCTW&) override {
    sawCreate = true;
    return true;
  }
  BOOL OnInitDialog() override {
    linkedAtInit = Window::FromHandle(this->hwnd()) == this;
    ::PostMessageW(this->hwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ::PostMessageW(this->hwnd(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return TRUE;
  }
  void OkClick() { log.push_back("ok"); }
  CommandTable Commands() const override {
    static const CommandEntry kCommands[] = {Command(IDOK, &TableDialog::OkClick)};
    return kCommands;
  }
};

class TemplateTableDialog : public TableDialog<Dialog> {
 public:
  TemplateTableDialog() : TableDialog<Dialog>(200) {}
};
class MemoryTableDialog : public TableDialog<CodeDialog> {
 public:
  MemoryTableDialog() : TableDialog<CodeDialog>(L"qx_test_code_table", WS_CAPTION | WS_SYSMENU, 200, 100) {}
};

template <typename D>
void ExpectTakenOverWithTable(D& d) {
  EXPECT_EQ(d.DoModal(), IDCANCEL);
  EXPECT_TRUE(d.sawCreate);
  EXPECT_TRUE(d.linkedAtInit);
  EXPECT_EQ(d.log, std::vector<std::string>{"ok"});
  EXPECT_EQ(d.hwnd(), nullptr);
}

TEST(Dialog, BothKindsAreTakenOverAtCreationAndUseTheirTable) {
  {
    SCOPED_TRACE("template");
    TemplateTableDialog d;
    ExpectTakenOverWithTable(d);
  }
  {
    SCOPED_TRACE("in memory");
    MemoryTableDialog d;
    ExpectTakenOverWithTable(d);
  }
}

// ---- the run-time error report ----

TEST(RunTimeErrorReport, TextsOfEveryKindOfError) {
  struct Case {
    std::function<void()> raise;
    std::wstring text;
  };
  const Case cases[] = {
      {[] { throw RunTimeError(L"找不到文件 a.dll"); }, L"运行时错误：找不到文件 a.dll"},
      {[] { throw std::runtime_error("\xE6\x96\x87\xE4\xBB\xB6 x"); }, L"运行时错误：文件 x"},
      // Not UTF-8: the ANSI code page's (936 here).
      {[] { throw std::runtime_error("\xCE\xC4\xBC\xFE"); }, L"运行时错误：文件"},
      {[] { throw 42; }, L"运行时错误：未知错误"},
  };
  for (const Case& c : cases) {
    std::wstring reported;
    EXPECT_FALSE(RunReportingErrors(c.raise, [&](const std::wstring& t) { reported = t; }));
    EXPECT_EQ(reported, c.text) << Utf8(reported);
  }
  bool reportedAny = false;
  EXPECT_TRUE(RunReportingErrors([] {}, [&](const std::wstring&) { reportedAny = true; }));
  EXPECT_FALSE(reportedAny);
}

// The system's texts as Wine gives them under the zh_CN locale the tests run with.
TEST(RunTimeErrorReport, SystemReasonIsTheSystemsTextWithoutItsLineEnd) {
  struct Case {
    DWORD code;
    std::wstring text;
  };
  const Case cases[] = {
      {ERROR_FILE_NOT_FOUND, L"找不到文件。"},
      {ERROR_ACCESS_DENIED, L"访问被拒绝。"},
      {ERROR_SUCCESS, L""},
      {0x2000FFFF, L""},  // no text for it
  };
  for (const Case& c : cases) EXPECT_EQ(SystemErrorText(c.code), c.text) << c.code;
  EXPECT_EQ(WithSystemReason(L"无法打开文件 \"a.bmp\"", ERROR_FILE_NOT_FOUND),
            L"无法打开文件 \"a.bmp\"。找不到文件。");
  EXPECT_EQ(WithSystemReason(L"无法创建位图", ERROR_SUCCESS), L"无法创建位图。");
}

TEST(RunTimeErrorReport, ShowsOneBoxWithTheTextAndCaption) {
  qx::test::BoxWatcher boxes;
  ShowRunTimeError(nullptr, L"运行时错误：x", L"Caption");
  ASSERT_EQ(boxes.messageBoxes().size(), 1u);
  EXPECT_EQ(boxes.messageBoxes()[0].caption, L"Caption");
  EXPECT_EQ(boxes.messageBoxes()[0].text, L"运行时错误：x");
}

}  // namespace
