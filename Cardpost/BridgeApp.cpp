// Cardpost's application object, and every process-wide object of the program.
#include "BridgeApp.h"

#include <commctrl.h>
#include <shellapi.h>

#include <memory>
#include <string>

#include "BridgeDlg.h"
#include "Delivery.h"
#include "Log.h"
#include "ReaderWnd.h"
#include "win/Text.h"

// Process-wide objects, all in this one unit so they are built in this order and destroyed
// in the reverse one; the log's folder caches outlive nothing that logs at exit.
std::string g_DeviceNumber;
std::string g_SignDepart;
CBridgeApp theApp;
std::string g_ModuleDirCache;
std::string g_ConsoleDirCache;

bool g_DeviceReady = false;
bool g_ReadBusy = false;

namespace {

constexpr char kRunFlagName[] = "ExistFlag__Morvid2_Tesmo_RK60";

// Only the first argument counts; it is compared as upper-cased ANSI text.
bool ShowRequested() {
  int argc = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (!argv) return false;
  bool show = false;
  if (argc >= 2) {
    std::string arg = qx::win::WideToMulti(argv[1], CP_ACP);
    if (!arg.empty()) ::CharUpperBuffA(arg.data(), static_cast<DWORD>(arg.size()));
    show = arg == "-SHOW";
  }
  ::LocalFree(argv);
  return show;
}

}  // namespace

CBridgeApp::~CBridgeApp() = default;

bool CBridgeApp::InitInstance() {
  LogWrite("%s", std::string(86, '*').c_str());
  LogWrite("模块编译时间(v2.1):2010-12-17 17:50:00");

  const bool show = ShowRequested();

  if (HANDLE other = ::OpenEventA(EVENT_ALL_ACCESS, FALSE, kRunFlagName)) {
    ::CloseHandle(other);
    LogWrite("运行标志已经存在，则直接退出，只保留一份实例");
    return false;
  }
  HANDLE flag = ::CreateEventA(nullptr, FALSE, FALSE, kRunFlagName);
  const DWORD createError = ::GetLastError();
  if (!flag) {
    LogWrite("运行标志不存在，创建运行标志失败，则直接退出");
    return false;
  }
  // Two copies started at the same instant both get past the open; the later one finds
  // the event made by the other here.
  if (createError == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(flag);
    LogWrite("运行标志已经存在，则直接退出，只保留一份实例");
    return false;
  }
  m_RunFlag = flag;

  ::InitCommonControls();

  auto dlg = std::make_unique<CBridgeDlg>();
  dlg->m_ShowAtStart = show;
  SetMainWindow(dlg.get());
  dlg->DoModal(nullptr);
  SetMainWindow(nullptr);
  dlg.reset();
  return false;
}

int CBridgeApp::ExitInstance() {
  if (m_RunFlag) {
    LogWrite("清除运行标志");
    ::CloseHandle(m_RunFlag);
    m_RunFlag = nullptr;
  }
  return App::ExitInstance();
}
