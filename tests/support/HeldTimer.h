// Holds back the platform's ticks of one timer of a window, so that a test gives the ticks
// itself (sending WM_TIMER) and none falls due between its steps.
#pragma once
#include <windows.h>

namespace qx::test {

// While it lives, WM_TIMER messages of timer id of the watched window that this thread's
// loops (modal ones too) take from the queue become WM_NULL. Sent messages pass.
class HeldTimer {
 public:
  explicit HeldTimer(UINT_PTR id);
  ~HeldTimer();
  HeldTimer(const HeldTimer&) = delete;
  HeldTimer& operator=(const HeldTimer&) = delete;

  void Watch(HWND window) { window_ = window; }
  // Lets the ticks through from now on.
  void Release();

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp);
  HHOOK hook_ = nullptr;
  HeldTimer* prev_ = nullptr;
  UINT_PTR id_;
  HWND window_ = nullptr;
};

}  // namespace qx::test
