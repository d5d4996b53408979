// Cardpost's reader window: binds sdtapi.dll and WltRS.dll, opens the port, polls the reader.
#include "ReaderWnd.h"

#include <cstring>

#include "Delivery.h"
#include "Log.h"
#include "win/FaultGuard.h"
#include "win/Text.h"

namespace {

constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMs = 1000;
constexpr int kScanLastPort = 1100;
constexpr const wchar_t kReaderWndTitleW[] = L"HD_DispatchWnd__Morvid2_Tesmo_RK60";

template <typename T>
T Entry(HMODULE module, const char* name) {
  return reinterpret_cast<T>(::GetProcAddress(module, name));
}

}  // namespace

Cbiz_CardpostHD::Cbiz_CardpostHD() { std::memset(m_ScanRequest, 0, sizeof m_ScanRequest); }

Cbiz_CardpostHD::~Cbiz_CardpostHD() = default;

bool Cbiz_CardpostHD::InitDevice() {
  LogWrite("BGN 初始化设备");
  if (!CreateEx(WS_EX_TOOLWINDOW, kReaderWndTitleW, WS_POPUP, 0, 0, 0, 0)) {
    const DWORD err = ::GetLastError();
    LogWrite("END 初始化设备  失败，创建窗体失败(%d)", static_cast<int>(err));
    return false;
  }
  if (!LoadDevice()) {
    LogWrite("END 初始化设备  失败，装载二代证设备  失败");
    return false;
  }
  LogWrite("END 初始化设备  完成");
  g_DeviceReady = true;
  ::SetTimer(hwnd(), kPollTimer, kPollMs, nullptr);
  return true;
}

bool Cbiz_CardpostHD::LoadDevice() {
  LogWrite("BGN 装载二代证读卡器");
  const std::string dir = GetModuleDir();

  const std::string sdtPath = qx::win::Format("%s\\sdtapi.dll", dir.c_str());
  m_hSdtApi = ::LoadLibraryA(sdtPath.c_str());
  if (!m_hSdtApi) {
    const DWORD err = ::GetLastError();
    LogWrite("装载二代证读卡器  失败， LoadLibrary error (%d)", static_cast<int>(err));
    return false;
  }
  // All six are looked up before any is judged.
  m_pfnOpenPort = Entry<SDT_OpenPort_t>(m_hSdtApi, "SDT_OpenPort");
  m_pfnClosePort = Entry<SDT_ClosePort_t>(m_hSdtApi, "SDT_ClosePort");
  m_pfnStartFind = Entry<SDT_StartFindMorvid_t>(m_hSdtApi, "SDT_StartFindMorvid");
  m_pfnSelect = Entry<SDT_SelectMorvid_t>(m_hSdtApi, "SDT_SelectMorvid");
  m_pfnReadBaseMsg = Entry<SDT_ReadBaseMsg_t>(m_hSdtApi, "SDT_ReadBaseMsg");
  m_pfnGetSAMIDToStr = Entry<SDT_GetSAMIDToStr_t>(m_hSdtApi, "SDT_GetSAMIDToStr");
  if (!m_pfnOpenPort || !m_pfnClosePort || !m_pfnStartFind || !m_pfnSelect ||
      !m_pfnReadBaseMsg || !m_pfnGetSAMIDToStr) {
    LogWrite("END 装载二代证读卡器  失败，初始化接口失败");
    FreeDeviceLibraries();
    return false;
  }

  const std::string wltPath = qx::win::Format("%s\\WltRS.dll", dir.c_str());
  m_hWltRS = ::LoadLibraryA(wltPath.c_str());
  if (!m_hWltRS) {
    const DWORD err = ::GetLastError();
    LogWrite("装载二代证读卡器  失败2， LoadLibrary error (%d)", static_cast<int>(err));
    return false;
  }
  m_pfnGetBmp = Entry<GetBmp_t>(m_hWltRS, "GetBmp");
  if (!m_pfnGetBmp) {
    LogWrite("END 装载二代证读卡器  失败2，初始化接口失败");
    FreeDeviceLibraries();
    return false;
  }

  const std::string ini = qx::win::Format("%s\\HD.ini", dir.c_str());
  const int port = static_cast<int>(
      ::GetPrivateProfileIntA("Main", "Port", qx::reader::kFirstUsbPort, ini.c_str()));

  int status = 0;
  const SDT_OpenPort_t open = m_pfnOpenPort;
  if (!qx::win::Guarded([&] { status = open(port); })) {
    LogWrite("装载二代证读卡器，初始化设备  异常");
    return false;
  }
  m_Port = port;

  if (status != qx::reader::kStatusOk) {
    if (port != qx::reader::kFirstUsbPort) {
      LogWrite("装载二代证读卡器，初始化设备  失败(%d, 成功0x90)", status);
      return false;
    }
    // The first USB port did not answer: try every USB port, the first one again included.
    bool found = false;
    for (int p = qx::reader::kFirstUsbPort; p <= kScanLastPort; ++p) {
      int s = 0;
      if (!qx::win::Guarded([&] { s = open(p); })) {
        LogWrite("装载二代证读卡器，初始化设备  异常，端口:%d", p);
        continue;
      }
      status = s;
      if (s == qx::reader::kStatusOk) {
        m_Port = p;
        LogWrite("装载二代证读卡器，初始化设备  成功，端口:%d", p);
        found = true;
        break;
      }
    }
    if (!found) {
      LogWrite("装载二代证读卡器，初始化设备  失败(%d, 成功0x90)", status);
      return false;
    }
  }

  char samId[1001] = {};
  const SDT_GetSAMIDToStr_t getSam = m_pfnGetSAMIDToStr;
  const int samPort = m_Port;
  // Its status and any fault are of no interest: the number is only logged.
  qx::win::Guarded([&] { getSam(samPort, samId, 0); });
  g_DeviceNumber.assign(samId, strnlen(samId, sizeof samId));

  LogWrite("END 装载二代证读卡器  完成，设备号：%s", g_DeviceNumber.c_str());
  return true;
}

void Cbiz_CardpostHD::FreeDeviceLibraries() {
  if (m_hSdtApi) {
    if (m_pfnClosePort) {
      const SDT_ClosePort_t close = m_pfnClosePort;
      const int port = m_Port;
      qx::win::Guarded([&] { close(port); });
    }
    ::FreeLibrary(m_hSdtApi);
  }
  if (m_hWltRS) ::FreeLibrary(m_hWltRS);
  m_hSdtApi = nullptr;
  m_hWltRS = nullptr;
  m_pfnOpenPort = nullptr;
  m_pfnClosePort = nullptr;
  m_pfnStartFind = nullptr;
  m_pfnSelect = nullptr;
  m_pfnReadBaseMsg = nullptr;
  m_pfnGetSAMIDToStr = nullptr;
  m_pfnGetBmp = nullptr;
}

void Cbiz_CardpostHD::UnloadDevice() {
  g_DeviceReady = false;
  LogWrite("BGN 卸载设备");
  FreeDeviceLibraries();
  LogWrite("END 卸载设备  完成");
}

bool Cbiz_CardpostHD::ScanRecognise(uint8_t*) {
  LogWrite("BGN 扫描识别");
  if (g_ReadBusy) LogWrite("END 扫描识别，设备正忙");
  return false;
}

void Cbiz_CardpostHD::OnTimer(UINT_PTR id) {
  ::KillTimer(hwnd(), id);
  uint8_t record[qx::card::CardInfoRecord::kSize] = {};
  try {
    if (ReadCard(record)) SendToConsole(record);
  } catch (...) {
    // Whatever went wrong, the next poll must be able to run.
    g_ReadBusy = false;
    LogWrite(" ### 机读异常，继续轮询");
  }
  ::SetTimer(hwnd(), kPollTimer, kPollMs, nullptr);
}

LRESULT Cbiz_CardpostHD::OnQueryStatus(WPARAM, LPARAM) {
  LogWrite("BGN 收到判断扫描仪状态消息");
  if (g_DeviceReady) {
    LogWrite("END 收到判断扫描仪状态消息 已经准备好了");
    return 0;
  }
  LogWrite("END 收到判断扫描仪状态消息 没有准备好");
  return 1;
}

LRESULT Cbiz_CardpostHD::OnScanRequest(WPARAM, LPARAM) {
  const std::string certType = qx::card::ScanCertType(m_ScanRequest);
  LogWrite("BGN 收到扫描/机读消息， 证件类型：%s", certType.c_str());
  return 0;
}

LRESULT Cbiz_CardpostHD::OnCopyData(HWND, const COPYDATASTRUCT& data, WPARAM wp, LPARAM lp) {
  if (data.dwData == qx::card::WM_HD_SCANREQUEST) {
    std::memset(m_ScanRequest, 0, sizeof m_ScanRequest);
    if (data.lpData) {
      const size_t n = data.cbData < sizeof m_ScanRequest ? data.cbData : sizeof m_ScanRequest;
      std::memcpy(m_ScanRequest, data.lpData, n);
    }
    // Logged later, once the console's send has returned.
    ::PostMessageA(hwnd(), qx::card::WM_HD_SCANREQUEST, 0, 0);
  }
  return Default(WM_COPYDATA, wp, lp);
}

LRESULT Cbiz_CardpostHD::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE:
      return Default(msg, wp, lp) == -1 ? -1 : 0;
    case WM_TIMER:
      OnTimer(wp);
      return Default(msg, wp, lp);
    case qx::card::WM_HD_QUERYSTATUS:
      return OnQueryStatus(wp, lp);
    case qx::card::WM_HD_SCANREQUEST:
      return OnScanRequest(wp, lp);
    case WM_COPYDATA:
      if (const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lp))
        return OnCopyData(reinterpret_cast<HWND>(wp), *data, wp, lp);
      return Default(msg, wp, lp);
    default:
      return Default(msg, wp, lp);
  }
}
