// The desk's program: single copy, the objects that live as long as it, the start-up picture
// during the database connection, the message loop and the end.
#include "KestrinApp.h"

#include <commctrl.h>

#include <iterator>
#include <memory>

#include "dm.h"
#include "frmSysStart.h"
#include "SetPrint.h"
#include "main.h"
#include "win/App.h"
#include "win/Ole.h"
#include "win/Text.h"
#include "win/Window.h"

namespace qx::kestrin {

TdataMd* dataMd = nullptr;

namespace {

// The hidden window that carries the program's title for the task bar and owns the main
// window, as the application window of a form framework does.
class ApplicationWindow : public win::Window {
 public:
  bool Create(const wchar_t* title) {
    const wchar_t* cls = RegisterClassFor(kAppWindowClass);
    RECT work{0, 0, 1024, 768};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return CreateExWithClass(cls, 0, title, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                             (work.left + work.right) / 2, (work.top + work.bottom) / 2, 0, 0);
  }
};

class KestrinApplication : public win::App {
 public:
  explicit KestrinApplication(int cmdShow) : cmdShow_(cmdShow) {}
  int Start();

 private:
  int cmdShow_;
  std::wstring title_;
};

void ConnectDatabase(TdataMd& dm) {
  dm.adoLog.SetConnected(false);
  dm.adoLog.SetConnectionString(win::WideToMulti(L"FILE NAME=" + ProgramFile(L"DBLink.udl"), CP_ACP));
  dm.adoLog.SetConnected(true);
}

int KestrinApplication::Start() {
  // The apartment outlives every window: it is released after the objects below.
  win::OleApartment apartment;
  // 1. The application and its title.
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&icc);
  title_ = kAppTitle;

  // 2. One running copy.
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, kMutexName);
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    ::MessageBoxW(nullptr, L"系统已经运行！", L"提示", MB_OK);
    if (mutex) ::CloseHandle(mutex);
    return 0;
  }

  ApplicationWindow appWindow;
  std::unique_ptr<TForm_main> mainForm;
  std::unique_ptr<TdataMd> dm;
  // Made at start as the others are; the record print makes a dialog of its own each time.
  std::unique_ptr<TfrmSetPrint> setPrint;
  try {
    // 3. The windows and the data module, in this order; nothing is shown yet.
    if (!appWindow.Create(title_.c_str()))
      throw win::RunTimeError(win::WithSystemReason(L"无法创建应用程序窗口", ::GetLastError()));
    mainForm = std::make_unique<TForm_main>();
    if (!mainForm->Create(appWindow.hwnd()))
      throw win::RunTimeError(win::WithSystemReason(L"无法创建主窗口", ::GetLastError()));
    mainForm->SetEndsProgram(true);
    SetMainWindow(mainForm.get());
    dm = std::make_unique<TdataMd>();
    dataMd = dm.get();
    setPrint = std::make_unique<TfrmSetPrint>();
  } catch (...) {
    // Not the program's own message: the run-time's report of an error at start.
    ShowStartUpError();
    return 1;
  }

  {
    // 4. The start-up picture, painted before the connection blocks the thread.
    TForm_SysStart splash;
    try {
      splash.Create();
    } catch (...) {
      ShowStartUpError();
      return 1;
    }
    splash.Show();

    // 5. The database.
    try {
      ConnectDatabase(*dm);
    } catch (...) {
      ::MessageBoxW(splash.hwnd(), L"数据库连接错误，请检查！", L"提示", MB_OK);
      // At once: no window is closed and nothing else is cleaned up.
      ::ExitProcess(0);
    }

    // 6. The picture stays up; no messages are served meanwhile.
    ::Sleep(2000);
    // 7. Leaving the block closes and destroys the splash.
  }

  // 8. The main window appears (its show handler connects the reader) and the loop runs.
  ::ShowWindow(appWindow.hwnd(), SW_SHOWNOACTIVATE);
  ::ShowWindow(mainForm->hwnd(), cmdShow_ == SW_SHOWMINIMIZED || cmdShow_ == SW_MINIMIZE ? cmdShow_ : SW_SHOW);
  ::UpdateWindow(mainForm->hwnd());
  win::RunMessageLoop();

  // 9. The guard goes first, then the objects in the reverse order of their making.
  ::CloseHandle(mutex);
  setPrint.reset();
  dataMd = nullptr;
  dm.reset();
  SetMainWindow(nullptr);
  mainForm.reset();
  return 0;
}

}  // namespace

int RunKestrin(int cmdShow) {
  KestrinApplication app(cmdShow);
  return app.Start();
}

void PlaceDialog(HWND dlg, int clientWidth, int clientHeight) {
  RECT r{0, 0, clientWidth, clientHeight};
  ::AdjustWindowRectEx(&r, static_cast<DWORD>(::GetWindowLongW(dlg, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(::GetWindowLongW(dlg, GWL_EXSTYLE)));
  const int w = r.right - r.left, h = r.bottom - r.top;
  RECT work{0, 0, 1024, 768};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  ::SetWindowPos(dlg, nullptr, work.left + (work.right - work.left - w) / 2,
                 work.top + (work.bottom - work.top - h) / 2, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace qx::kestrin
