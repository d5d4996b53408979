// Window base of the shared framework.
#include "win/Window.h"

#include <commctrl.h>

#include <utility>

namespace qx::win {
namespace {

const wchar_t kPropName[] = L"qx.win.object";
const wchar_t kModelessProp[] = L"qx.win.modeless";
const wchar_t kPlainClass[] = L"QxPlainWnd";
const UINT_PTR kSubclassId = 1;

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

LRESULT Window::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (std::optional<LRESULT> r = Crack(msg, wp, lp)) return *r;
  return Default(msg, wp, lp);
}

LRESULT Window::Default(UINT msg, WPARAM wp, LPARAM lp) {
  if (subclassed_) return ::DefSubclassProc(hwnd_, msg, wp, lp);
  return ::DefWindowProcW(hwnd_, msg, wp, lp);
}

bool Window::OnCommand(int id, int code, HWND control) {
  // Menu items and button clicks come with code 0, accelerators with 1 and no control.
  const bool click = code == 0 || (code == 1 && !control);
  for (const CommandEntry& c : Commands()) {
    if (c.id != id || (c.code == kClick ? !click : c.code != code)) continue;
    RunEvent([this, &c] { (this->*c.handler)(); });
    return true;
  }
  return false;
}

std::optional<LRESULT> Window::Crack(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE: {
      const LRESULT r = Default(msg, wp, lp);
      if (r == -1) return r;
      return OnCreate(*reinterpret_cast<const CREATESTRUCTW*>(lp)) ? r : -1;
    }
    case WM_COMMAND:
      if (OnCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp))) return 0;
      return std::nullopt;
    case WM_NOTIFY:
      return lp ? OnNotify(*reinterpret_cast<const NMHDR*>(lp)) : std::nullopt;
    case WM_TIMER:
      if (OnTimer(wp)) return 0;
      return std::nullopt;
    case WM_COPYDATA:
      if (!lp) return std::nullopt;
      return OnCopyData(reinterpret_cast<HWND>(wp), *reinterpret_cast<const COPYDATASTRUCT*>(lp));
    case WM_CLOSE:
      if (OnClose()) return 0;
      return std::nullopt;
    case WM_DESTROY:
      OnDestroy();
      return std::nullopt;
    case WM_PAINT:
      if (OnPaint()) return 0;
      return std::nullopt;
    case WM_ERASEBKGND:
      if (OnEraseBackground(reinterpret_cast<HDC>(wp))) return 1;
      return std::nullopt;
    case WM_SIZE:
      OnSize(static_cast<UINT>(wp), LOWORD(lp), HIWORD(lp));
      return std::nullopt;
    case WM_SHOWWINDOW:
      OnShowWindow(wp != 0, static_cast<UINT>(lp));
      return std::nullopt;
    case WM_CTLCOLORSTATIC:
      if (HBRUSH b = OnCtlColorStatic(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp)))
        return reinterpret_cast<LRESULT>(b);
      return std::nullopt;
    case WM_DRAWITEM:
      if (lp && OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp))) return TRUE;
      return std::nullopt;
    case WM_SYSCOMMAND:
      if (OnSysCommand(static_cast<UINT>(wp & 0xFFF0), lp)) return 0;
      return std::nullopt;
    case WM_QUERYDRAGICON:
      if (HICON icon = OnQueryDragIcon()) return reinterpret_cast<LRESULT>(icon);
      return std::nullopt;
    default:
      break;
  }
  for (const MessageEntry& m : Messages()) {
    if (m.msg != msg) continue;
    LRESULT r = 0;
    RunEvent([&] { r = (this->*m.handler)(wp, lp); });
    return r;
  }
  return std::nullopt;
}

void Window::Link(HWND hwnd) {
  hwnd_ = hwnd;
  ::SetPropW(hwnd, kPropName, this);
}

void Window::Subclass(HWND hwnd) {
  Link(hwnd);
  subclassed_ = ::SetWindowSubclass(hwnd, &Window::SubclassProc, kSubclassId,
                                    reinterpret_cast<DWORD_PTR>(this)) != FALSE;
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
    ::RemovePropW(hwnd_, kModelessProp);
    if (subclassed_) ::RemoveWindowSubclass(hwnd_, &Window::SubclassProc, kSubclassId);
  }
  hwnd_ = nullptr;
  subclassed_ = false;
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
    if (self) self->Link(hwnd);
  }
  // Messages before the link (WM_GETMINMAXINFO) get the default processing.
  if (!self) return ::DefWindowProcW(hwnd, msg, wp, lp);
  return self->Dispatch(msg, wp, lp);
}

LRESULT CALLBACK Window::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                      DWORD_PTR ref) {
  auto* self = reinterpret_cast<Window*>(ref);
  // An object that let go of the window before the subclass went.
  if (!self || self->hwnd_ != hwnd) return ::DefSubclassProc(hwnd, msg, wp, lp);
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
