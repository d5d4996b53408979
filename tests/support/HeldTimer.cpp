// Holding back a window's timer ticks through a WH_GETMESSAGE hook of the thread.
#include "HeldTimer.h"

namespace qx::test {
namespace {

thread_local HeldTimer* t_held = nullptr;

}  // namespace

HeldTimer::HeldTimer(UINT_PTR id) : prev_(t_held), id_(id) {
  t_held = this;
  hook_ = ::SetWindowsHookExW(WH_GETMESSAGE, &HeldTimer::Hook, nullptr, ::GetCurrentThreadId());
}

HeldTimer::~HeldTimer() { Release(); }

void HeldTimer::Release() {
  if (!hook_) return;
  ::UnhookWindowsHookEx(hook_);
  hook_ = nullptr;
  // Released in the reverse order of holding, as scopes end.
  if (t_held == this) t_held = prev_;
}

LRESULT CALLBACK HeldTimer::Hook(int code, WPARAM wp, LPARAM lp) {
  auto* m = reinterpret_cast<MSG*>(lp);
  if (code == HC_ACTION && wp == PM_REMOVE && m->message == WM_TIMER) {
    for (HeldTimer* h = t_held; h; h = h->prev_) {
      if (h->hook_ && h->window_ && m->hwnd == h->window_ && m->wParam == h->id_) {
        m->message = WM_NULL;
        break;
      }
    }
  }
  return ::CallNextHookEx(nullptr, code, wp, lp);
}

}  // namespace qx::test
