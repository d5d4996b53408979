// Window base of the shared framework: one object per HWND, linked at WM_NCCREATE, messages
// cracked into typed handlers, command ids and program messages mapped to members by a table
// per window, exceptions stopped at the boundary.
#pragma once
#include <windows.h>

#include <cstddef>
#include <exception>
#include <functional>
#include <optional>
#include <string>

namespace qx::win {

class Window;

// The code of a command table entry that takes a menu item, an accelerator or a button click.
inline constexpr int kClick = -1;

// One command of a window's table: the control or menu id, the member it runs and the
// notification code it answers (kClick, or a control's own code such as CBN_SELCHANGE).
struct CommandEntry {
  int id;
  void (Window::*handler)();
  int code;
};

// One program-defined message of a window's table and the member that answers it.
struct MessageEntry {
  UINT msg;
  LRESULT (Window::*handler)(WPARAM, LPARAM);
};

// Entries for the tables, from members of the window's own class.
template <typename W>
CommandEntry Command(int id, void (W::*handler)(), int code = kClick) {
  return {id, static_cast<void (Window::*)()>(handler), code};
}
template <typename W>
MessageEntry Message(UINT msg, LRESULT (W::*handler)(WPARAM, LPARAM)) {
  return {msg, static_cast<LRESULT (Window::*)(WPARAM, LPARAM)>(handler)};
}

// A window's table: a view of a static array of entries.
template <typename Entry>
class Table {
 public:
  constexpr Table() = default;
  template <std::size_t N>
  constexpr Table(const Entry (&entries)[N]) : begin_(entries), end_(entries + N) {}
  const Entry* begin() const { return begin_; }
  const Entry* end() const { return end_; }

 private:
  const Entry* begin_ = nullptr;
  const Entry* end_ = nullptr;
};
using CommandTable = Table<CommandEntry>;
using MessageTable = Table<MessageEntry>;

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
  // Every message of the window. The default gives it to the typed handlers below and the
  // tables; what none of them takes gets the default processing.
  virtual LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  // The processing that the window would get without this object.
  LRESULT Default(UINT msg, WPARAM wp, LPARAM lp);

  // ---- typed handlers ----
  // A handler returning bool or an optional says whether it took the message; a message
  // not taken goes on to the default processing. The void ones run before it.

  // After the default processing of WM_CREATE; false fails the creation.
  virtual bool OnCreate(const CREATESTRUCTW& /*cs*/) { return true; }
  // WM_COMMAND. The default runs the entry of Commands() for the id and code.
  virtual bool OnCommand(int id, int code, HWND control);
  virtual std::optional<LRESULT> OnNotify(const NMHDR& /*nm*/) { return std::nullopt; }
  virtual bool OnTimer(UINT_PTR /*id*/) { return false; }
  // The payload is the sender's: read it within data.cbData and copy what is kept.
  virtual std::optional<LRESULT> OnCopyData(HWND /*sender*/, const COPYDATASTRUCT& /*data*/) {
    return std::nullopt;
  }
  // True keeps the window; the default processing destroys it (a dialog: IDCANCEL).
  virtual bool OnClose() { return false; }
  virtual void OnDestroy() {}
  virtual bool OnPaint() { return false; }
  // True: the background is erased.
  virtual bool OnEraseBackground(HDC /*dc*/) { return false; }
  virtual void OnSize(UINT /*type*/, int /*width*/, int /*height*/) {}
  virtual void OnShowWindow(bool /*show*/, UINT /*status*/) {}
  // A brush for a static control (text colours set on dc), or null for the default.
  virtual HBRUSH OnCtlColorStatic(HDC /*dc*/, HWND /*control*/) { return nullptr; }
  virtual bool OnDrawItem(const DRAWITEMSTRUCT& /*item*/) { return false; }
  // command: the system command without its low four bits.
  virtual bool OnSysCommand(UINT /*command*/, LPARAM /*lp*/) { return false; }
  virtual HICON OnQueryDragIcon() { return nullptr; }
  // Called after WM_NCDESTROY, when the window is gone.
  virtual void OnFinalDestroy() {}

  // ---- tables ----
  // Command ids and program-defined messages mapped to the members that handle them, each
  // a static array of the window's class:
  //   static const win::CommandEntry kCommands[] = {win::Command(IDC_RUN, &Form::RunClick)};
  //   return kCommands;
  virtual CommandTable Commands() const { return {}; }
  virtual MessageTable Messages() const { return {}; }
  // Every handler of the tables runs through here. A window whose handlers share a boundary
  // (an error report, a guard against re-entry) gives it here; the default just runs it.
  virtual void RunEvent(const std::function<void()>& handler) { handler(); }

  // Takes over a window created elsewhere (dialogs): its messages go through the object, and
  // the default processing is the window's own procedure.
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
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp,
                                       UINT_PTR id, DWORD_PTR ref);
  LRESULT Dispatch(UINT msg, WPARAM wp, LPARAM lp);
  std::optional<LRESULT> Crack(UINT msg, WPARAM wp, LPARAM lp);
  void Link(HWND hwnd);
  void Unlink();

  HWND hwnd_ = nullptr;
  bool subclassed_ = false;  // false: the default is DefWindowProcW
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
