// Window base of the shared framework.
#include "win/Window.h"

namespace qx::win {
namespace {

const wchar_t kPropName[] = L"qx.win.object";
const wchar_t kPlainClass[] = L"QxPlainWnd";

}  // namespace

Window::~Window() {
  if (hwnd_ && ::IsWindow(hwnd_)) ::DestroyWindow(hwnd_);
  Unlink();
}

const wchar_t* Window::RegisterClassFor(const wchar_t* name, UINT style, HCURSOR cursor,
                                        HBRUSH brush, HICON icon, HICON smallIcon) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  HINSTANCE inst = ::GetModuleHandleW(nullptr);
  if (::GetClassInfoExW(inst, name, &wc)) return name;
  wc = WNDCLASSEXW{};
  wc.cbSize = sizeof(wc);
  wc.style = style;
  wc.lpfnWndProc = &Window::StaticProc;
  wc.hInstance = inst;
  wc.hCursor = cursor;
  wc.hbrBackground = brush;
  wc.hIcon = icon;
  wc.hIconSm = smallIcon;
  wc.lpszClassName = name;
  ::RegisterClassExW(&wc);
  return name;
}

const wchar_t* Window::PlainClassName() { return RegisterClassFor(kPlainClass); }

bool Window::CreateEx(DWORD exStyle, const wchar_t* title, DWORD style, int x, int y, int w,
                      int h, HWND parent, HMENU menu) {
  return CreateExWithClass(PlainClassName(), exStyle, title, style, x, y, w, h, parent, menu);
}

bool Window::CreateExWithClass(const wchar_t* className, DWORD exStyle, const wchar_t* title,
                               DWORD style, int x, int y, int w, int h, HWND parent,
                               HMENU menu) {
  HWND created = ::CreateWindowExW(exStyle, className, title, style, x, y, w, h, parent, menu,
                                   ::GetModuleHandleW(nullptr), this);
  // hwnd_ was linked at WM_NCCREATE; a failed WM_CREATE has already unlinked it.
  return created != nullptr;
}

bool Window::Destroy() {
  if (!hwnd_) return false;
  return ::DestroyWindow(hwnd_) != FALSE;
}

Window* Window::FromHandle(HWND hwnd) {
  return hwnd ? static_cast<Window*>(::GetPropW(hwnd, kPropName)) : nullptr;
}

LRESULT Window::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) { return Default(msg, wp, lp); }

LRESULT Window::Default(UINT msg, WPARAM wp, LPARAM lp) {
  if (superProc_) return ::CallWindowProcW(superProc_, hwnd_, msg, wp, lp);
  return ::DefWindowProcW(hwnd_, msg, wp, lp);
}

void Window::Subclass(HWND hwnd) {
  hwnd_ = hwnd;
  ::SetPropW(hwnd, kPropName, this);
  superProc_ = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Window::SubclassProc)));
}

void Window::Unlink() {
  if (hwnd_ && ::IsWindow(hwnd_)) {
    ::RemovePropW(hwnd_, kPropName);
    if (superProc_)
      ::SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(superProc_));
  }
  hwnd_ = nullptr;
  superProc_ = nullptr;
}

LRESULT Window::Dispatch(UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT r = 0;
  try {
    r = HandleMessage(msg, wp, lp);
  } catch (...) {
    // Nothing may cross back into user32.
    r = 0;
  }
  if (msg == WM_NCDESTROY) {
    Unlink();
    try {
      OnFinalDestroy();
    } catch (...) {
    }
  }
  return r;
}

LRESULT CALLBACK Window::StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Window* self = FromHandle(hwnd);
  if (!self && msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    self = static_cast<Window*>(cs->lpCreateParams);
    if (self) {
      self->hwnd_ = hwnd;
      ::SetPropW(hwnd, kPropName, self);
    }
  }
  // Messages before the link (WM_GETMINMAXINFO) get the default processing.
  if (!self) return ::DefWindowProcW(hwnd, msg, wp, lp);
  return self->Dispatch(msg, wp, lp);
}

LRESULT CALLBACK Window::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Window* self = FromHandle(hwnd);
  if (!self) return ::DefWindowProcW(hwnd, msg, wp, lp);
  return self->Dispatch(msg, wp, lp);
}

bool PumpWaitingMessages() {
  MSG m;
  while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(m.wParam));
      return false;
    }
    ::TranslateMessage(&m);
    ::DispatchMessageW(&m);
  }
  return true;
}

int RunMessageLoop() {
  MSG m;
  while (::GetMessageW(&m, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&m);
    ::DispatchMessageW(&m);
  }
  return static_cast<int>(m.wParam);
}

}  // namespace qx::win
