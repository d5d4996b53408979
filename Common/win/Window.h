// Window base of the shared framework: one object per HWND, linked at WM_NCCREATE,
// every message through one virtual handler, exceptions stopped at the boundary.
#pragma once
#include <windows.h>

#include <string>

namespace qx::win {

class Window {
 public:
  Window() = default;
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  Window(Window&&) = delete;
  Window& operator=(Window&&) = delete;

  HWND hwnd() const { return hwnd_; }
  bool exists() const { return hwnd_ != nullptr && ::IsWindow(hwnd_); }

  // Creates a window of the framework's plain class (no class style, cursor, brush or icon).
  bool CreateEx(DWORD exStyle, const wchar_t* title, DWORD style, int x, int y, int w, int h,
                HWND parent = nullptr, HMENU menu = nullptr);
  // Same, with a class of the caller's (registered by RegisterClassFor).
  bool CreateExWithClass(const wchar_t* className, DWORD exStyle, const wchar_t* title,
                         DWORD style, int x, int y, int w, int h, HWND parent = nullptr,
                         HMENU menu = nullptr);
  bool Destroy();

  // Registers a class whose procedure is the framework's; returns its name.
  static const wchar_t* RegisterClassFor(const wchar_t* name, UINT style = 0,
                                         HCURSOR cursor = nullptr, HBRUSH brush = nullptr,
                                         HICON icon = nullptr, HICON smallIcon = nullptr);
  static const wchar_t* PlainClassName();

  // The object linked to a window of the framework, or null.
  static Window* FromHandle(HWND hwnd);

 protected:
  // Every message of the window; the default passes it on.
  virtual LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  // The processing that the window would get without this object.
  LRESULT Default(UINT msg, WPARAM wp, LPARAM lp);
  // Called after WM_NCDESTROY, when the window is gone.
  virtual void OnFinalDestroy() {}

  // Takes over a window created elsewhere (dialogs): messages go through HandleMessage and
  // then to the window's original procedure.
  void Subclass(HWND hwnd);

 private:
  static LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Dispatch(UINT msg, WPARAM wp, LPARAM lp);
  void Unlink();

  HWND hwnd_ = nullptr;
  WNDPROC superProc_ = nullptr;  // null: DefWindowProcW
};

// Pumps the messages that are waiting (no wait); returns false when WM_QUIT was seen.
bool PumpWaitingMessages();
// The standard loop until WM_QUIT; returns its exit code.
int RunMessageLoop();

}  // namespace qx::win
