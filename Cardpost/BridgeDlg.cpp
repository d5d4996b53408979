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

bool CBridgeDlg::OnCreate(const CREATESTRUCTW&) {
  if (!m_DispatchWnd.CreateEx(WS_EX_TOOLWINDOW, kDispatchWndTitleW, WS_POPUP, 0, 0, 0, 0)) {
    const DWORD err = ::GetLastError();
    LogWrite("创建窗体失败(%d)，老的Dispatch窗口", static_cast<int>(err));
    return false;
  }
  return true;
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

bool CBridgeDlg::OnTimer(UINT_PTR id) {
  AnnounceReady(id);
  return true;
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

void CBridgeDlg::OnScanRecognise() {
  uint8_t record[qx::card::CardInfoRecord::kSize] = {};
  m_ReaderWnd.ScanRecognise(record);
}

bool CBridgeDlg::OnSysCommand(UINT command, LPARAM) {
  if (command != IDM_ABOUTBOX) return false;
  CAboutDlg about;
  about.DoModal(nullptr);
  return true;
}

HICON CBridgeDlg::OnQueryDragIcon() { return m_Icon; }

// Only the minimised dialog is painted here: its icon.
bool CBridgeDlg::OnPaint() {
  if (!::IsIconic(hwnd())) return false;
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
  return true;
}

void CBridgeDlg::OnDestroy() {
  m_ReaderWnd.UnloadDevice();
  if (m_DispatchWnd.exists()) m_DispatchWnd.Destroy();
}

qx::win::CommandTable CBridgeDlg::Commands() const {
  static const qx::win::CommandEntry kCommands[] = {
      qx::win::Command(IDC_SCAN_RECOGNISE, &CBridgeDlg::OnScanRecognise),
  };
  return kCommands;
}

qx::win::MessageTable CBridgeDlg::Messages() const {
  static const qx::win::MessageEntry kMessages[] = {
      qx::win::Message(qx::card::WM_HD_STARTDEVICE, &CBridgeDlg::OnStartDevice),
  };
  return kMessages;
}

CAboutDlg::CAboutDlg() : Dialog(IDD_ABOUTBOX) {}
