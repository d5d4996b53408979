// The shared framework: fault guard, window linking, dialogs seen from their creation.
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "TestSupport.h"
#include "win/Dialog.h"
#include "win/FaultGuard.h"
#include "win/Window.h"

using namespace qx::win;

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

}  // namespace
