// Cardpost's application object: single-copy flag, start-up banner, the main dialog's run.
#pragma once
#include <windows.h>

#include "win/App.h"

class CBridgeApp : public qx::win::App {
 public:
  CBridgeApp() = default;
  ~CBridgeApp() override;

  bool InitInstance() override;
  int ExitInstance() override;

 private:
  HANDLE m_RunFlag = nullptr;
};

extern CBridgeApp theApp;
