// Application object of the shared framework: start-up and exit hooks around the
// program's life, and the main window that other windows post to.
#pragma once
#include <windows.h>

#include <string>

namespace qx::win {

class Window;

class App {
 public:
  App();
  virtual ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  static App* Current() { return current_; }

  // Start-up: true runs the message loop until WM_QUIT, false goes straight to exit.
  virtual bool InitInstance() { return true; }
  // Exit: runs after every start-up; its result is the process exit code.
  virtual int ExitInstance() { return exitCode_; }

  void SetMainWindow(Window* w) { mainWindow_ = w; }
  Window* MainWindow() const { return mainWindow_; }
  HWND MainHwnd() const;

  // Runs InitInstance, the loop when asked for, then destroys the main window if it is
  // still there, then ExitInstance. An error raised by InitInstance makes the exit code 1.
  int Run();

 protected:
  int exitCode_ = 0;

 private:
  static App* current_;
  Window* mainWindow_ = nullptr;
};

// The folder of the running executable, without a trailing backslash.
std::wstring ModuleDirW();

}  // namespace qx::win
