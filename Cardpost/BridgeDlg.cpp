// Cardpost's main dialog: hidden or shown start, reader start on request, ready packet, close.
#include "BridgeDlg.h"

#include <string>

#include "Log.h"
#include "card/Packets.h"
#include "resource.h"

namespace {

constexpr UINT_PTR kReadyTimer = 1;
constexpr UINT kReadyDelayMs = 5000;
constexpr const wchar_t kDispatchWndTitleW[] = L"HardwareCtrlWnd_Morvid2Reader";

}  // namespace

CBridgeDlg::CBridgeDlg()
    : Dialog(IDD_CARDPOST_DIALOG),
      m_Icon(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))) {}

CBridgeDlg::~CBridgeDlg() = default;

LRESULT CBridgeDlg::OnCreate(WPARAM wp, LPARAM lp) {
  if (Default(WM_CREATE, wp, lp) == -1) return -1;
  if (!m_DispatchWnd.CreateEx(WS_EX_TOOLWINDOW, kDispatchWndTitleW, WS_POPUP, 0, 0, 0, 0)) {
    const DWORD err = ::GetLastError();
    LogWrite("创建窗体失败(%d)，老的Dispatch窗口", static_cast<int>(err));
    return -1;
  }
  return 0;
}

BOOL CBridgeDlg::OnInitDialog() {
  Dialog::OnInitDialog();

  if (HMENU sysMenu = ::GetSystemMenu(hwnd(), FALSE)) {
    wchar_t about[256] = {};
    if (::LoadStringW(::GetModuleHandleW(nullptr), IDS_ABOUTBOX, about, 256) > 0) {
      ::AppendMenuW(sysMenu, MF_SEPARATOR, 0, nullptr);
      ::AppendMenuW(sysMenu, MF_STRING, IDM_ABOUTBOX, about);
    }
  }
  ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_Icon));
  ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_Icon));

  LogWrite("%s", std::string(60, '*').c_str());

  if (!m_ShowAtStart) {
    // Exactly a tool window: no taskbar button; parked out of sight for good.
    ::SetWindowLongW(hwnd(), GWL_EXSTYLE, WS_EX_TOOLWINDOW);
    ::MoveWindow(hwnd(), -200, -200, 100, 100, TRUE);
  } else if (!m_ReaderWnd.InitDevice()) {
    ::PostMessageW(hwnd(), WM_CLOSE, 0, 0);
  }
  return TRUE;
}

LRESULT CBridgeDlg::OnStartDevice(WPARAM, LPARAM) {
  // One reader window, one poll and one ready attempt per run: a start request once the
  // reader has been started (a second handshake, or one after -SHOW) changes nothing; after
  // a failed start the program is ending anyway.
  if (g_DeviceReady || m_ReaderWnd.exists()) {
    LogWrite("收到启动设备消息，设备已经启动，忽略");
    return 0;
  }
  if (m_ReaderWnd.InitDevice())
    ::SetTimer(hwnd(), kReadyTimer, kReadyDelayMs, nullptr);
  else
    EndDialog(IDCANCEL);
  return 0;
}

void CBridgeDlg::AnnounceReady(UINT_PTR id) {
  ::KillTimer(hwnd(), id);
  HWND checkCard = ::FindWindowA(nullptr, kCheckCardWndTitle);
  if (!checkCard) return;
  qx::card::ModuleReadyBytes packet = qx::card::BuildModuleReadyPacket();
  COPYDATASTRUCT cds{};
  cds.dwData = qx::card::CDS_MODULE_READY;
  cds.cbData = static_cast<DWORD>(packet.size());
  cds.lpData = packet.data();
  ::SendMessageA(checkCard, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
}

void CBridgeDlg::OnPaint() {
  PAINTSTRUCT ps{};
  HDC dc = ::BeginPaint(hwnd(), &ps);
  ::SendMessageW(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  const int cxIcon = ::GetSystemMetrics(SM_CXICON);
  const int cyIcon = ::GetSystemMetrics(SM_CYICON);
  RECT rect{};
  ::GetClientRect(hwnd(), &rect);
  const int x = (rect.right - rect.left - cxIcon + 1) / 2;
  const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
  ::DrawIcon(dc, x, y, m_Icon);
  ::EndPaint(hwnd(), &ps);
}

LRESULT CBridgeDlg::OnDestroy(WPARAM wp, LPARAM lp) {
  const LRESULT r = Default(WM_DESTROY, wp, lp);
  m_ReaderWnd.UnloadDevice();
  if (m_DispatchWnd.exists()) m_DispatchWnd.Destroy();
  return r;
}

LRESULT CBridgeDlg::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE:
      return OnCreate(wp, lp);
    case qx::card::WM_HD_STARTDEVICE:
      return OnStartDevice(wp, lp);
    case WM_TIMER:
      AnnounceReady(wp);
      return Default(msg, wp, lp);
    case WM_COMMAND:
      if (LOWORD(wp) == IDC_SCAN_RECOGNISE && HIWORD(wp) == BN_CLICKED) {
        uint8_t record[qx::card::CardInfoRecord::kSize] = {};
        m_ReaderWnd.ScanRecognise(record);
        return 0;
      }
      break;
    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal(nullptr);
        return 0;
      }
      return Default(msg, wp, lp);
    case WM_PAINT:
      if (::IsIconic(hwnd())) {
        OnPaint();
        return 0;
      }
      return Default(msg, wp, lp);
    case WM_QUERYDRAGICON:
      return reinterpret_cast<LRESULT>(m_Icon);
    case WM_DESTROY:
      return OnDestroy(wp, lp);
    default:
      break;
  }
  return Dialog::HandleMessage(msg, wp, lp);
}

CAboutDlg::CAboutDlg() : Dialog(IDD_ABOUTBOX) {}
