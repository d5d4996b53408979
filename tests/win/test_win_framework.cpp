// The shared framework: fault guard, window linking, dialogs seen from their creation.
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "TestSupport.h"
#include "win/App.h"
#include "win/CodeDialog.h"
#include "win/Controls.h"
#include "win/Dialog.h"
#include "win/FaultGuard.h"
#include "win/Window.h"

using namespace qx::win;
using qx::test::FlushEvents;

namespace {

__attribute__((noinline)) void WriteThroughNull(volatile int* p) { *p = 42; }

TEST(FaultGuard, ReturnsNormallyCompletedCalls) {
  int calls = 0;
  EXPECT_TRUE(Guarded([&] { ++calls; }));
  EXPECT_EQ(calls, 1);
}

TEST(FaultGuard, StopsAnAccessViolationAndKeepsWorking) {
  for (int round = 0; round < 3; ++round) {
    DWORD code = 0;
    bool after = false;
    EXPECT_FALSE(Guarded([&] {
      WriteThroughNull(nullptr);
      after = true;
    }, &code));
    EXPECT_FALSE(after);
    EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
  }
  // The thread's exception handling still works after the guards.
  EXPECT_THROW(throw std::runtime_error("x"), std::runtime_error);
}

TEST(FaultGuard, StopsRaisedExceptionsAndCppExceptions) {
  DWORD code = 1;
  EXPECT_FALSE(Guarded([] { ::RaiseException(0xE0001234, 0, 0, nullptr); }, &code));
  EXPECT_EQ(code, 0xE0001234u);
  EXPECT_FALSE(Guarded([] { throw std::runtime_error("inside"); }, &code));
  EXPECT_EQ(code, 0u);
}

TEST(FaultGuard, NestedGuardsUnwindToTheInnerOne) {
  bool innerFailed = false, outerRest = false;
  EXPECT_TRUE(Guarded([&] {
    innerFailed = !Guarded([] { WriteThroughNull(nullptr); });
    outerRest = true;
  }));
  EXPECT_TRUE(innerFailed);
  EXPECT_TRUE(outerRest);
}

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
  explicit Thrower(UINT at) : at_(at) {}
  std::vector<UINT> seen;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override {
    seen.push_back(msg);
    if (msg == at_) throw std::runtime_error("made badly");
    return Default(msg, wp, lp);
  }

 private:
  UINT at_;
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
    // The same object can be made again, and then it works.
    Recorder ok;
    EXPECT_TRUE(ok.CreateEx(0, L"qx_test_after", WS_POPUP, 0, 0, 0, 0));
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

}  // namespace
