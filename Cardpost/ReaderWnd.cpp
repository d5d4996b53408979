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

Cbiz_CardpostHD::Cbiz_CardpostHD() { std::memset(scanRequest_, 0, sizeof scanRequest_); }

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
  sdtApi_ = ::LoadLibraryA(sdtPath.c_str());
  if (!sdtApi_) {
    const DWORD err = ::GetLastError();
    LogWrite("装载二代证读卡器  失败， LoadLibrary error (%d)", static_cast<int>(err));
    return false;
  }
  // All six are looked up before any is judged.
  openPort_ = Entry<SDT_OpenPort_t>(sdtApi_, "SDT_OpenPort");
  closePort_ = Entry<SDT_ClosePort_t>(sdtApi_, "SDT_ClosePort");
  startFind_ = Entry<SDT_StartFindMorvid_t>(sdtApi_, "SDT_StartFindMorvid");
  select_ = Entry<SDT_SelectMorvid_t>(sdtApi_, "SDT_SelectMorvid");
  readBaseMsg_ = Entry<SDT_ReadBaseMsg_t>(sdtApi_, "SDT_ReadBaseMsg");
  getSamIdToStr_ = Entry<SDT_GetSAMIDToStr_t>(sdtApi_, "SDT_GetSAMIDToStr");
  if (!openPort_ || !closePort_ || !startFind_ || !select_ ||
      !readBaseMsg_ || !getSamIdToStr_) {
    LogWrite("END 装载二代证读卡器  失败，初始化接口失败");
    FreeDeviceLibraries();
    return false;
  }

  const std::string wltPath = qx::win::Format("%s\\WltRS.dll", dir.c_str());
  wltRS_ = ::LoadLibraryA(wltPath.c_str());
  if (!wltRS_) {
    const DWORD err = ::GetLastError();
    LogWrite("装载二代证读卡器  失败2， LoadLibrary error (%d)", static_cast<int>(err));
    return false;
  }
  getBmp_ = Entry<GetBmp_t>(wltRS_, "GetBmp");
  if (!getBmp_) {
    LogWrite("END 装载二代证读卡器  失败2，初始化接口失败");
    FreeDeviceLibraries();
    return false;
  }

  const std::string ini = qx::win::Format("%s\\HD.ini", dir.c_str());
  const int port = static_cast<int>(
      ::GetPrivateProfileIntA("Main", "Port", qx::reader::kFirstUsbPort, ini.c_str()));

  int status = 0;
  const SDT_OpenPort_t open = openPort_;
  if (!qx::win::Guarded([&] { status = open(port); })) {
    LogWrite("装载二代证读卡器，初始化设备  异常");
    return false;
  }
  port_ = port;

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
        port_ = p;
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
  const SDT_GetSAMIDToStr_t getSam = getSamIdToStr_;
  const int samPort = port_;
  // Its status and any fault are of no interest: the number is only logged.
  qx::win::Guarded([&] { getSam(samPort, samId, 0); });
  g_DeviceNumber.assign(samId, strnlen(samId, sizeof samId));

  LogWrite("END 装载二代证读卡器  完成，设备号：%s", g_DeviceNumber.c_str());
  return true;
}

void Cbiz_CardpostHD::FreeDeviceLibraries() {
  if (sdtApi_) {
    if (closePort_) {
      const SDT_ClosePort_t close = closePort_;
      const int port = port_;
      qx::win::Guarded([&] { close(port); });
    }
    ::FreeLibrary(sdtApi_);
  }
  if (wltRS_) ::FreeLibrary(wltRS_);
  sdtApi_ = nullptr;
  wltRS_ = nullptr;
  openPort_ = nullptr;
  closePort_ = nullptr;
  startFind_ = nullptr;
  select_ = nullptr;
  readBaseMsg_ = nullptr;
  getSamIdToStr_ = nullptr;
  getBmp_ = nullptr;
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

bool Cbiz_CardpostHD::OnTimer(UINT_PTR id) {
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
  return true;
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
  const std::string certType = qx::card::ScanCertType(scanRequest_);
  LogWrite("BGN 收到扫描/机读消息， 证件类型：%s", certType.c_str());
  return 0;
}

std::optional<LRESULT> Cbiz_CardpostHD::OnCopyData(HWND, const COPYDATASTRUCT& data) {
  if (data.dwData == qx::card::WM_HD_SCANREQUEST) {
    std::memset(scanRequest_, 0, sizeof scanRequest_);
    if (data.lpData) {
      const size_t n = data.cbData < sizeof scanRequest_ ? data.cbData : sizeof scanRequest_;
      std::memcpy(scanRequest_, data.lpData, n);
    }
    // Logged later, once the console's send has returned.
    ::PostMessageA(hwnd(), qx::card::WM_HD_SCANREQUEST, 0, 0);
  }
  return std::nullopt;
}

qx::win::MessageTable Cbiz_CardpostHD::Messages() const {
  static const qx::win::MessageEntry kMessages[] = {
      qx::win::Message(qx::card::WM_HD_QUERYSTATUS, &Cbiz_CardpostHD::OnQueryStatus),
      qx::win::Message(qx::card::WM_HD_SCANREQUEST, &Cbiz_CardpostHD::OnScanRequest),
  };
  return kMessages;
}
