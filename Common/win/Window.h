// Window base of the shared framework: one object per HWND, linked at WM_NCCREATE,
// every message through one virtual handler, exceptions stopped at the boundary.
#pragma once
#include <windows.h>

#include <exception>
#include <string>

namespace qx::win {

// Destroy the window before its object goes: WM_DESTROY, WM_NCDESTROY and OnFinalDestroy
// reach a derived class only while its part of the object exists. The owner does it (App
// for the main window, EndDialog for dialogs), or the class's own destructor through
// Destroy(). The base destructor only removes a window left behind, with no handler.
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
  // An error raised by the window's own handlers while it is being made fails the creation
  // and is passed on to the caller once the half-made window is gone.
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

  // Called inside a catch block while the window is being made: keeps the error for the
  // call that makes the window, and gives up the creation.
  void FailCreation();
  // How a creation is given up at WM_INITDIALOG; the default destroys the window.
  virtual void AbandonCreation();
  // Rethrows the error kept by FailCreation, if any.
  void PassOnCreationError();

 private:
  static LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Dispatch(UINT msg, WPARAM wp, LPARAM lp);
  void Unlink();

  HWND hwnd_ = nullptr;
  WNDPROC superProc_ = nullptr;  // null: DefWindowProcW
  std::exception_ptr creationError_;
};

// Marks a modeless dialog: the loops below pass its keyboard messages (Tab, Enter, Esc,
// arrows, mnemonics) to the dialog manager.
void SetModelessDialog(HWND dialog, bool on);
// What every loop does with a message before dispatching it: true when a modeless dialog
// has taken it.
bool TranslateDialogMessage(MSG& m);

// Pumps the messages that are waiting (no wait); returns false when WM_QUIT was seen.
bool PumpWaitingMessages();
// The standard loop until WM_QUIT; returns its exit code.
int RunMessageLoop();

}  // namespace qx::win
