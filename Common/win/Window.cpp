// Window base of the shared framework.
#include "win/Window.h"

#include <utility>

namespace qx::win {
namespace {

const wchar_t kPropName[] = L"qx.win.object";
const wchar_t kModelessProp[] = L"qx.win.modeless";
const wchar_t kPlainClass[] = L"QxPlainWnd";

}  // namespace

Window::~Window() {
  // The derived part is gone: the window is unlinked first, so that nothing of its
  // destruction is dispatched into what is left of the object.
  HWND left = hwnd_;
  Unlink();
  if (left && ::IsWindow(left)) ::DestroyWindow(left);
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
  creationError_ = nullptr;
  HWND created = ::CreateWindowExW(exStyle, className, title, style, x, y, w, h, parent, menu,
                                   ::GetModuleHandleW(nullptr), this);
  // hwnd_ was linked at WM_NCCREATE; a failed creation leaves nothing linked.
  if (!created) Unlink();
  PassOnCreationError();
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

void Window::FailCreation() { creationError_ = std::current_exception(); }

void Window::AbandonCreation() {
  if (hwnd_) ::DestroyWindow(hwnd_);
}

void Window::PassOnCreationError() {
  if (creationError_) std::rethrow_exception(std::exchange(creationError_, nullptr));
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
    // Nothing may cross back into user32. An error while the window is being made fails
    // the creation, so that no half-made window is taken for a good one.
    r = 0;
    if (msg == WM_NCCREATE || msg == WM_CREATE || msg == WM_INITDIALOG) {
      FailCreation();
      if (msg == WM_CREATE) r = -1;
      if (msg == WM_INITDIALOG) AbandonCreation();
    }
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

void SetModelessDialog(HWND dialog, bool on) {
  if (on)
    ::SetPropW(dialog, kModelessProp, reinterpret_cast<HANDLE>(1));
  else
    ::RemovePropW(dialog, kModelessProp);
}

bool TranslateDialogMessage(MSG& m) {
  if (m.message < WM_KEYFIRST || m.message > WM_KEYLAST || !m.hwnd) return false;
  // The key goes to the focused control; its top-level window is the dialog it belongs to.
  HWND root = ::GetAncestor(m.hwnd, GA_ROOT);
  return root && ::GetPropW(root, kModelessProp) && ::IsDialogMessageW(root, &m);
}

namespace {

void Deliver(MSG& m) {
  if (TranslateDialogMessage(m)) return;
  ::TranslateMessage(&m);
  ::DispatchMessageW(&m);
}

}  // namespace

bool PumpWaitingMessages() {
  MSG m;
  while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(m.wParam));
      return false;
    }
    Deliver(m);
  }
  return true;
}

int RunMessageLoop() {
  MSG m;
  while (::GetMessageW(&m, nullptr, 0, 0) > 0) Deliver(m);
  return static_cast<int>(m.wParam);
}

}  // namespace qx::win
