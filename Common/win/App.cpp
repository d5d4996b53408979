// Application object of the shared framework.
#include "win/App.h"

#include "win/Window.h"

#include <iterator>

namespace qx::win {

App* App::current_ = nullptr;

App::App() { current_ = this; }

App::~App() {
  if (current_ == this) current_ = nullptr;
}

HWND App::MainHwnd() const { return mainWindow_ ? mainWindow_->hwnd() : nullptr; }

int App::Run() {
  bool loop = false;
  try {
    loop = InitInstance();
  } catch (...) {
    // A start that raised an error is no success.
    loop = false;
    exitCode_ = 1;
  }
  if (loop) exitCode_ = RunMessageLoop();
  // The main window goes while its object is whole, so that its own handlers see the end.
  if (mainWindow_ && mainWindow_->exists()) mainWindow_->Destroy();
  try {
    return ExitInstance();
  } catch (...) {
    return exitCode_;
  }
}

std::wstring ModuleDirW() {
  wchar_t path[MAX_PATH * 4];
  DWORD n = ::GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
  std::wstring s(path, n);
  size_t cut = s.find_last_of(L"\\/");
  return cut == std::wstring::npos ? std::wstring() : s.substr(0, cut);
}

}  // namespace qx::win
