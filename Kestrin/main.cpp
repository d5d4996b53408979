// Unit main: the main window's frame (menus, tool bar, client panel with the card face,
// status bar, the automatic-verification timer) and the small commands of its menus. The
// reader connection, the verification and the saves and prints are in MainReader.cpp,
// MainVerify.cpp and MainSaves.cpp.
#include "main.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <iterator>
#include <stdexcept>

#include "KestrinApp.h"
#include "about.h"
#include "dm.h"
#include "qryLog.h"
#include "win/Menu.h"

namespace qx::kestrin {

namespace {

constexpr int kOuterWidth = 765;
constexpr int kOuterHeight = 548;
constexpr int kToolBarHeight = 41;
constexpr SIZE kButtonSize{39, 38};
constexpr SIZE kPictureSize{32, 32};
constexpr int kPanel0Width = 350;
constexpr int kPanel1Width = 200;
constexpr COLORREF kPictureMask = RGB(255, 0, 255);
constexpr wchar_t kPanelClass[] = L"TPanel";

struct ToolButtonDef {
  int id;
  int picture;
  const wchar_t* hint;
};
constexpr ToolButtonDef kToolButtons[] = {
    {IDC_TBTNDEPART, 0, L"读卡器配置"}, {IDC_TBTNCHECK, 2, L"验证"},
    {IDC_TBTNAUTO, 6, L"自动"},         {IDC_TBTNCOPY, 9, L"照片保存"},
    {IDC_TBTNPRINT, 4, L"打印"},        {IDC_TBTNIMEG, 3, L"复印保存"},
    {IDC_TBTFPRINT, 8, L"文档打印"},    {IDC_TBTNQRY, 7, L"验证记录查询"},
    {IDC_TBTNHELP, 5, L"联机文档"},     {IDC_TBTNEXIT, 1, L"退出"},
};

constexpr POINT kPanel2Design{47, -8};

const wchar_t* PanelClass() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  HINSTANCE inst = ::GetModuleHandleW(nullptr);
  if (!::GetClassInfoExW(inst, kPanelClass, &wc)) {
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = inst;
    wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNHIGHLIGHT + 1);
    wc.lpszClassName = kPanelClass;
    ::RegisterClassExW(&wc);
  }
  return kPanelClass;
}

}  // namespace

TForm_main::~TForm_main() {
  if (exists()) ::DestroyWindow(hwnd());
}

bool TForm_main::Create(HWND owner) {
  HINSTANCE inst = ::GetModuleHandleW(nullptr);
  icon_.reset(static_cast<HICON>(::LoadImageW(inst, MAKEINTRESOURCEW(IDI_KESTRIN), IMAGE_ICON, 0, 0,
                                              LR_DEFAULTSIZE)));
  const wchar_t* cls = RegisterClassFor(kMainFormClass, 0, ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)),
                                        ::GetSysColorBrush(COLOR_BTNFACE), icon_.get(), icon_.get());
  RECT work{0, 0, 1024, 768};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int x = work.left + (work.right - work.left - kOuterWidth) / 2;
  const int y = work.top + (work.bottom - work.top - kOuterHeight) / 2;
  const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  if (!CreateExWithClass(cls, 0, kMainFormCaption, style, x, y, kOuterWidth, kOuterHeight, owner))
    return false;
  if (!CreateComponents()) {
    Destroy();
    return false;
  }
  RunHandler([this] { FormCreate(); });
  return true;
}

bool TForm_main::CreateComponents() {
  HWND self = hwnd();
  // "MS Sans Serif", 11 pixels of character height.
  LOGFONTW lf{};
  lf.lfHeight = -11;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(lf.lfFaceName, L"MS Sans Serif", LF_FACESIZE);
  font_.reset(::CreateFontIndirectW(&lf));
  ::SendMessageW(self, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);

  menu_ = ::CreateMenu();
  if (!menu_) return false;
  win::AppendDropDown(menu_, L"系统(&S)", {{IDM_P1, L"读卡器配置(&P)"}});
  menuO01_ = win::AppendDropDown(menu_, L"操作(&O)",
                                 {{IDM_NCHK, L"验证(&C)"},
                                  {IDM_NAUTO, L"自动(&A)"},
                                  {IDM_NCOPY, L"照片保存(&S)"},
                                  {IDM_NPRINT, L"证件打印(&P)"},
                                  {IDM_NIMEG, L"复印保存"},
                                  {IDM_FILEPRINT, L"文档打印"}});
  win::AppendDropDown(menu_, L"查询(&Q)", {{IDM_Y1, L"验证记录(&Y)"}});
  win::AppendDropDown(menu_, L"帮助(&H)", {{IDM_A2, L"关于 ...(&A)"}, {IDM_W1, L"联机文档(&W)"}});
  win::AppendCommand(menu_, IDM_E1, L"退出(&E)");
  if (!::SetMenu(self, menu_)) return false;

  HIMAGELIST images = ::ImageList_Create(kPictureSize.cx, kPictureSize.cy, ILC_COLOR24 | ILC_MASK,
                                         static_cast<int>(std::size(kToolButtons)), 0);
  if (HBITMAP strip = static_cast<HBITMAP>(::LoadImageW(::GetModuleHandleW(nullptr),
                                                        MAKEINTRESOURCEW(IDB_TOOLBAR), IMAGE_BITMAP, 0, 0,
                                                        LR_CREATEDIBSECTION))) {
    ::ImageList_AddMasked(images, strip, kPictureMask);
    ::DeleteObject(strip);
  }
  if (!toolBar_.Create(self, IDC_TOOLBAR1, kToolBarHeight, kButtonSize, kPictureSize, images))
    return false;
  for (const ToolButtonDef& b : kToolButtons)
    if (!toolBar_.AddButton(b.id, b.picture, b.hint)) return false;

  panel1_ = ::CreateWindowExW(0, PanelClass(), L"", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_CLIPCHILDREN,
                              0, 0, 0, 0, self, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_PANEL1)),
                              ::GetModuleHandleW(nullptr), nullptr);
  if (!panel1_) return false;
  if (!CreateCardFields() || !panel2_.Create(panel1_)) return false;

  if (!sb_.Create(self, IDC_SB, font_.get())) return false;
  sb_.AddPanel(L"0", kPanel0Width, kPanel0Initial);
  sb_.AddPanel(L"1", kPanel1Width, kPanel1Initial);
  Layout();
  return true;
}

void TForm_main::Layout() {
  toolBar_.Resize();
  sb_.Resize();
  RECT client{}, bar{};
  ::GetClientRect(hwnd(), &client);
  ::GetWindowRect(sb_.hwnd(), &bar);
  const int barHeight = bar.bottom - bar.top;
  ::MoveWindow(panel1_, 0, kToolBarHeight, client.right,
               std::max(0L, client.bottom - kToolBarHeight - barHeight), TRUE);
  // Panel2 keeps its offset from Panel1's centre, as it had when the window was made.
  RECT inner{};
  ::GetClientRect(panel1_, &inner);
  if (panel1Design_.cx == 0 && panel1Design_.cy == 0) panel1Design_ = SIZE{inner.right, inner.bottom};
  if (panel2_.hwnd())
    ::MoveWindow(panel2_.hwnd(), kPanel2Design.x + (inner.right - panel1Design_.cx) / 2,
                 kPanel2Design.y + (inner.bottom - panel1Design_.cy) / 2, kCardFaceWidth, kCardFaceHeight, TRUE);
}

bool TForm_main::FacePanel::Create(HWND parent) {
  const wchar_t* cls = RegisterClassFor(L"TPanel2", 0, ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
  return CreateExWithClass(cls, 0, L"", WS_CHILD | WS_VISIBLE, kPanel2Design.x, kPanel2Design.y, kCardFaceWidth,
                           kCardFaceHeight, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_MAIN_PANEL2)));
}

bool TForm_main::FacePanel::OnEraseBackground(HDC) { return true; }  // the face covers the panel

bool TForm_main::FacePanel::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(hwnd(), &ps);
  const Picture& face = owner_.FacePicture();
  if (face.Empty()) {
    ::FillRect(dc, &ps.rcPaint, ::GetSysColorBrush(COLOR_BTNHIGHLIGHT));
  } else {
    win::UniqueMemDc mem(::CreateCompatibleDC(dc));
    win::SelectGuard keep(mem.get(), face.Handle());
    ::BitBlt(dc, 0, 0, face.Width(), face.Height(), mem.get(), 0, 0, SRCCOPY);
  }
  ::EndPaint(hwnd(), &ps);
  return true;
}

std::wstring TForm_main::PanelText(int index) const { return sb_.Text(std::to_wstring(index)); }

void TForm_main::SetPanel(int index, std::wstring_view text) {
  sb_.SetText(std::to_wstring(index), text);
}

void TForm_main::SetTimeauto(bool on) {
  timeautoEnabled_ = on;
  if (on)
    ::SetTimer(hwnd(), kTimeautoId, kTimeautoIntervalMs, nullptr);
  else
    ::KillTimer(hwnd(), kTimeautoId);
}

void TForm_main::SetVerifyControls(bool on) {
  toolBar_.Enable(IDC_TBTNCHECK, on);
  toolBar_.Enable(IDC_TBTNAUTO, on);
  win::EnableMenuEntry(menu_, kMenuO01, true, on);
  ::DrawMenuBar(hwnd());
}

win::CommandTable TForm_main::Commands() const {
  // Menu items and tool bar buttons alike.
  static const win::CommandEntry kCommands[] = {
      win::Command(IDM_P1, &TForm_main::P1Click),
      win::Command(IDM_NCHK, &TForm_main::nchkClick),
      win::Command(IDM_NAUTO, &TForm_main::nautoClick),
      win::Command(IDM_NCOPY, &TForm_main::ncopyClick),
      win::Command(IDM_NPRINT, &TForm_main::nprintClick),
      win::Command(IDM_NIMEG, &TForm_main::nimegClick),
      win::Command(IDM_FILEPRINT, &TForm_main::fileprintClick),
      win::Command(IDM_Y1, &TForm_main::Y1Click),
      win::Command(IDM_A2, &TForm_main::A2Click),
      win::Command(IDM_W1, &TForm_main::W1Click),
      win::Command(IDM_E1, &TForm_main::E1Click),
      win::Command(IDC_TBTNDEPART, &TForm_main::tbtnDepartClick),
      win::Command(IDC_TBTNCHECK, &TForm_main::tbtnCheckClick),
      win::Command(IDC_TBTNAUTO, &TForm_main::tbtnAutoClick),
      win::Command(IDC_TBTNCOPY, &TForm_main::tbtnCopyClick),
      win::Command(IDC_TBTNPRINT, &TForm_main::tbtnPrintClick),
      win::Command(IDC_TBTNIMEG, &TForm_main::ToolButton1Click),
      win::Command(IDC_TBTFPRINT, &TForm_main::tbtfprintClick),
      win::Command(IDC_TBTNQRY, &TForm_main::tbtnQryClick),
      win::Command(IDC_TBTNHELP, &TForm_main::tbtnHelpClick),
      win::Command(IDC_TBTNEXIT, &TForm_main::tbtnExitClick),
  };
  return kCommands;
}

std::optional<LRESULT> TForm_main::OnNotify(const NMHDR& nm) {
  if (toolBar_.HandleNotify(nm)) return 0;
  return std::nullopt;
}

bool TForm_main::OnTimer(UINT_PTR id) {
  if (id != kTimeautoId) return false;
  // A tick that was already queued when the timer stopped is not served.
  if (timeautoEnabled_) RunHandler([this] { timeautoTimer(); });
  return true;
}

void TForm_main::OnShowWindow(bool show, UINT status) {
  // Before the window appears, as the show handler of a form runs.
  if (show && status == 0) RunHandler([this] { FormShow(); });
}

void TForm_main::OnSize(UINT, int, int) {
  if (panel1_) Layout();
}

bool TForm_main::OnClose() {
  if (!endsProgram_) return false;
  ::ShowWindow(hwnd(), SW_HIDE);
  ::PostQuitMessage(0);
  return true;
}

void TForm_main::OnDestroy() {
  ::KillTimer(hwnd(), kTimeautoId);
  RunHandler([this] { FormDestroy(); });
}

void TForm_main::Y1Click() {
  if (!dataMd) throw std::runtime_error(u8"数据模块未创建");
  TForm_qryLog form(*dataMd);
  form.ShowModal(hwnd());
}

void TForm_main::A2Click() {
  TForm_about about;
  about.ShowModal(hwnd());
}

void TForm_main::W1Click() {
  const std::wstring help = ProgramFile(L"help.chm");
  ::ShellExecuteW(hwnd(), L"OPEN", help.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void TForm_main::E1Click() { ::SendMessageW(hwnd(), WM_CLOSE, 0, 0); }

}  // namespace qx::kestrin
