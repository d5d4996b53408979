// Unit main: the main window's frame, its reader connection from "reader.ini", the card
// fields and card face, the verification workflow and the other commands of its menus and
// tool bar.
#include "main.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <stdexcept>

#include "KestrinApp.h"
#include "Reader.h"
#include "SaveName.h"
#include "SetPrint.h"
#include "about.h"
#include "dm.h"
#include "qryLog.h"
#include "setport.h"
#include "win/FolderDialog.h"
#include "win/Menu.h"
#include "win/Text.h"

namespace qx::kestrin {

TForm_main* Form_main = nullptr;

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

// One table from command id to handler, for the menu items and the tool bar buttons alike.
struct CommandEntry {
  int id;
  void (TForm_main::*handler)();
};
constexpr CommandEntry kCommands[] = {
    {IDM_P1, &TForm_main::P1Click},
    {IDM_NCHK, &TForm_main::nchkClick},
    {IDM_NAUTO, &TForm_main::nautoClick},
    {IDM_NCOPY, &TForm_main::ncopyClick},
    {IDM_NPRINT, &TForm_main::nprintClick},
    {IDM_NIMEG, &TForm_main::nimegClick},
    {IDM_FILEPRINT, &TForm_main::fileprintClick},
    {IDM_Y1, &TForm_main::Y1Click},
    {IDM_A2, &TForm_main::A2Click},
    {IDM_W1, &TForm_main::W1Click},
    {IDM_E1, &TForm_main::E1Click},
    {IDC_TBTNDEPART, &TForm_main::tbtnDepartClick},
    {IDC_TBTNCHECK, &TForm_main::tbtnCheckClick},
    {IDC_TBTNAUTO, &TForm_main::tbtnAutoClick},
    {IDC_TBTNCOPY, &TForm_main::tbtnCopyClick},
    {IDC_TBTNPRINT, &TForm_main::tbtnPrintClick},
    {IDC_TBTNIMEG, &TForm_main::ToolButton1Click},
    {IDC_TBTFPRINT, &TForm_main::tbtfprintClick},
    {IDC_TBTNQRY, &TForm_main::tbtnQryClick},
    {IDC_TBTNHELP, &TForm_main::tbtnHelpClick},
    {IDC_TBTNEXIT, &TForm_main::tbtnExitClick},
};

constexpr POINT kPanel2Design{47, -8};

struct CardFieldDef {
  int id;
  std::string CardFields::*field;
};
constexpr CardFieldDef kCardFields[] = {
    {IDC_MAIN_EDTNAME, &CardFields::edtName},         {IDC_MAIN_EDTSEX, &CardFields::edtSex},
    {IDC_MAIN_HIDSEXID, &CardFields::hidSexID},       {IDC_MAIN_EDTNATION, &CardFields::edtNation},
    {IDC_MAIN_HIDNATIONID, &CardFields::hidNationID}, {IDC_MAIN_EDTBIRH, &CardFields::edtBirh},
    {IDC_MAIN_EDTADDR, &CardFields::edtAddr},         {IDC_MAIN_EDTID, &CardFields::edtId},
    {IDC_MAIN_EDTSENDDEP, &CardFields::edtSendDep},   {IDC_MAIN_HIDEXPIRES, &CardFields::hidExpireS},
    {IDC_MAIN_HIDEXPIREE, &CardFields::hidExpireE},   {IDC_MAIN_EDTEXPIRE, &CardFields::edtExpire},
};

std::wstring WideOf(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }

// The code that stopped ReadCardText: the sex code when it is no number, else the nation code.
std::wstring BadCardCode(std::u16string_view text) {
  const std::u16string sex = TrimCardRun(CardRun(text, 16, 16));
  try {
    CardCode(sex);
  } catch (const CardCodeError&) {
    return WideOf(sex);
  }
  return WideOf(TrimCardRun(CardRun(text, 17, 18)));
}

std::string NowText() {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond);
  return buf;
}

bool FolderExists(const std::wstring& path) {
  const DWORD a = ::GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring WithBackslash(std::wstring folder) {
  if (folder.empty() || folder.back() != L'\\') folder += L'\\';
  return folder;
}

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
  if (Form_main == this) Form_main = nullptr;
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
  if (!Form_main) Form_main = this;
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

bool TForm_main::CreateCardFields() {
  HINSTANCE inst = ::GetModuleHandleW(nullptr);
  // Never shown: the fields only carry the card read last to the other commands.
  groupBox1_ = ::CreateWindowExW(0, L"BUTTON", L"身份证信息", WS_CHILD | BS_GROUPBOX, 8, 8, 240, 330, panel1_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_MAIN_GROUPBOX1)), inst, nullptr);
  if (!groupBox1_) return false;
  int y = 16;
  for (const CardFieldDef& d : kCardFields) {
    HWND e = ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_READONLY | ES_AUTOHSCROLL, 8, y, 220, 21,
                               groupBox1_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(d.id)), inst, nullptr);
    if (!e) return false;
    ::SendMessageW(e, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    y += 25;
  }
  // The design copy of the card face, when the picture is there.
  try {
    face_ = RenderEmptyCardFace(ExeFolderFile(L"show.bmp"));
  } catch (const std::exception&) {
  }
  return true;
}

bool TForm_main::FacePanel::Create(HWND parent) {
  const wchar_t* cls = RegisterClassFor(L"TPanel2", 0, ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
  return CreateExWithClass(cls, 0, L"", WS_CHILD | WS_VISIBLE, kPanel2Design.x, kPanel2Design.y, kCardFaceWidth,
                           kCardFaceHeight, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_MAIN_PANEL2)));
}

LRESULT TForm_main::FacePanel::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_ERASEBKGND) return 1;
  if (msg != WM_PAINT) return Default(msg, wp, lp);
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
  return 0;
}

std::wstring TForm_main::FieldText(int id) const {
  HWND e = ::GetDlgItem(groupBox1_, id);
  const int n = ::GetWindowTextLengthW(e);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(e, text.data(), n + 1)));
  return text;
}

CardFields TForm_main::Fields() const {
  CardFields f;
  for (const CardFieldDef& d : kCardFields) f.*d.field = win::WideToMulti(FieldText(d.id), 936);
  return f;
}

void TForm_main::SetFields(const CardFields& f) {
  for (const CardFieldDef& d : kCardFields)
    ::SetWindowTextW(::GetDlgItem(groupBox1_, d.id), CardWide(f.*d.field).c_str());
}

std::wstring TForm_main::PanelText(int index) const { return sb_.Text(std::to_wstring(index)); }

void TForm_main::SetPanel(int index, std::wstring_view text) {
  sb_.SetText(std::to_wstring(index), text);
}

void TForm_main::SetPlatformTimers(bool on) {
  platformTimers_ = on;
  SetTimeauto(timeautoEnabled_);
}

void TForm_main::SetTimeauto(bool on) {
  timeautoEnabled_ = on;
  if (on && platformTimers_)
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

LRESULT TForm_main::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      // Menu items and tool bar buttons both come with code 0 (BN_CLICKED).
      if (HIWORD(wp) == 0 || HIWORD(wp) == BN_CLICKED) {
        OnCommand(LOWORD(wp));
        return 0;
      }
      break;
    case WM_NOTIFY:
      if (toolBar_.HandleNotify(*reinterpret_cast<const NMHDR*>(lp))) return 0;
      break;
    case WM_TIMER:
      if (wp == kTimeautoId) {
        // A tick that was already queued when the timer stopped is not served.
        if (timeautoEnabled_) RunHandler([this] { timeautoTimer(); });
        return 0;
      }
      break;
    case WM_SHOWWINDOW:
      // Before the window appears, as the show handler of a form runs.
      if (wp && lp == 0) RunHandler([this] { FormShow(); });
      break;
    case WM_SIZE:
      if (panel1_) Layout();
      return 0;
    case WM_CLOSE:
      if (endsProgram_) {
        ::ShowWindow(hwnd(), SW_HIDE);
        ::PostQuitMessage(0);
        return 0;
      }
      break;
    case WM_DESTROY:
      ::KillTimer(hwnd(), kTimeautoId);
      RunHandler([this] { FormDestroy(); });
      return 0;
    default:
      break;
  }
  return Default(msg, wp, lp);
}

void TForm_main::OnCommand(int id) {
  for (const CommandEntry& c : kCommands) {
    if (c.id == id) {
      RunHandler([this, &c] { (this->*c.handler)(); });
      return;
    }
  }
}

// ---- window and reader connection ----

void TForm_main::FormCreate() {
  CurPort = 0;
  AutoFlag = 0;
}

void TForm_main::FormShow() { ConnectReader(); }

void TForm_main::FormDestroy() {
  if (CurPort > 0) CloseReader(CurPort);
}

void TForm_main::ConnectReader() {
  std::string samId;
  if (ReadReaderIni(L"READER", L"PORT", L"COM") == L"USB") {
    CurPort = 1001;
    const bool opened = OpenReader(1001, 0, samId);
    ReportConnection(opened, samId);
  }
  if (ReadReaderIni(L"READER", L"PORT", L"COM") == L"COM") {
    const std::wstring port = ReadReaderIni(L"COM", L"port", L"COM1");
    CurPort = StrToInt(port.size() > 3 ? port.substr(3) : std::wstring());
    const int baud = StrToInt(ReadReaderIni(L"COM", L"baund", L"9600"));
    if (baud == 0) CurPort = 0;
    const bool opened = OpenReader(CurPort, baud, samId);
    ReportConnection(opened, samId);
  }
}

void TForm_main::ReportConnection(bool opened, const std::string& samId) {
  if (opened) {
    SetPanel(0, L"读卡器连接成功!安全模块编号 [" + win::MultiToWide(samId, 936) + L"]");
    SetVerifyControls(true);
    return;
  }
  CurPort = 0;
  SetPanel(0, L"读卡器连接失败!");
  ShowMessage(L"读卡器连接出错!请检查配置!");
  SetVerifyControls(false);
}

void TForm_main::P1Click() {
  {
    TForm_setport dialog;
    // Whichever way the dialog was closed.
    dialog.ShowModal(hwnd());
  }
  ConnectReader();
}

// ---- verification ----

bool TForm_main::ReadCardToForm() {
  std::u16string text;
  if (!ReadCardData(CurPort, text)) return true;
  CardFields f = Fields();
  try {
    ReadCardText(text, f, CardAnsi);
  } catch (const CardCodeError&) {
    // The fields cut before the bad code already hold the new card.
    SetFields(f);
    throw ConvertError(L"'" + BadCardCode(text) + L"' 不是有效的整数值");
  }
  SetFields(f);
  // A photo that cannot be loaded keeps the previous one; the texts stay new.
  photo_ = Picture::FromBmpFile(TempPhotoBase() + L".bmp");
  return false;
}

void TForm_main::ShowCardFace() {
  const CardFields f = Fields();
  Picture face = RenderCardFace(ExeFolderFile(L"show.bmp"), photo_, f);
  face_ = std::move(face);
  labels_ = CardFaceLabelsFrom(f);
  ::InvalidateRect(panel2_.hwnd(), nullptr, FALSE);
}

void TForm_main::ClearCardFace() {
  Picture face = RenderEmptyCardFace(ExeFolderFile(L"show.bmp"));
  face_ = std::move(face);
  labels_ = CardFaceLabels{};
  ::InvalidateRect(panel2_.hwnd(), nullptr, FALSE);
}

void TForm_main::ComposeCopyImages() {
  std::optional<CardCopyImages> c = kestrin::ComposeCopyImages(ExeFolderFile(L"bkF.bmp"), ExeFolderFile(L"bkB.bmp"),
                                                               photo_, Fields());
  if (c) copy_ = std::move(*c);
}

void TForm_main::SaveVerifyLog() {
  const CardFields f = Fields();
  TShowCardLine card;
  card.PersonName = f.edtName;
  card.SexText = f.edtSex;
  card.NationText = f.edtNation;
  card.IdNumber = f.edtId;
  card.BirthDate = f.edtBirh;
  card.AddressText = f.edtAddr;
  card.ValidFrom = f.hidExpireS;
  card.ValidTo = f.hidExpireE;
  card.Authority = f.edtSendDep;
  card.RecordTime = NowText();
  card.CardPhoto = photo_.Clone();
  // The number verified last survives restarts in "reader.ini"; a failed append leaves it,
  // so the card is logged at its next verification.
  const std::wstring id = FieldText(IDC_MAIN_EDTID);
  if (ReadReaderIni(L"ID", L"NUM", L"1") != id) {
    if (!dataMd) throw std::runtime_error(u8"数据模块未创建");
    dataMd->AppendLogRecord(card);
  }
  WriteReaderIni(L"ID", L"NUM", id);
}

void TForm_main::nchkClick() {
  if (ReadCardToForm()) {
    SetPanel(1, L"身份验证失败!");
    ClearCardFace();
    return;
  }
  ShowCardFace();
  ComposeCopyImages();
  SaveVerifyLog();
  SetPanel(1, L"身份验证成功!");
}

void TForm_main::nautoClick() {
  if (AutoFlag == 0) {
    SetTimeauto(true);
    AutoFlag = 1;
    win::SetMenuText(menu_, IDM_NAUTO, false, L"停止(&S)");
    toolBar_.SetHint(IDC_TBTNAUTO, L"停止");
    win::EnableMenuEntry(menu_, IDM_NCHK, false, false);
    toolBar_.Enable(IDC_TBTNCHECK, false);
  } else {
    SetTimeauto(false);
    AutoFlag = 0;
    win::SetMenuText(menu_, IDM_NAUTO, false, L"自动(&A)");
    SetPanel(1, L"... ...");
    toolBar_.SetHint(IDC_TBTNAUTO, L"自动");
    win::EnableMenuEntry(menu_, IDM_NCHK, false, true);
    toolBar_.Enable(IDC_TBTNCHECK, true);
  }
}

void TForm_main::timeautoTimer() {
  SetTimeauto(false);
  if (ReadCardToForm()) {
    SetPanel(1, L"等待刷卡......");
  } else {
    ShowCardFace();
    SaveVerifyLog();
    ComposeCopyImages();
    SetPanel(1, L"身份验证成功！");
  }
  // An error above leaves the timer stopped.
  SetTimeauto(true);
}

void TForm_main::ncopyClick() {
  SetTimeauto(false);
  const std::optional<std::wstring> chosen = win::BrowseForFolder(hwnd(), kFolderPrompt);
  if (!chosen) {
    if (AutoFlag == 1) SetTimeauto(true);
    return;
  }
  // A number that names no file saves nothing, as a cancelled choice.
  if (!SavePhotoBmp(WithBackslash(*chosen))) {
    if (AutoFlag == 1) SetTimeauto(true);
    return;
  }
  ShowMessage(L"照片保存成功！");
  if (AutoFlag == 1) SetTimeauto(true);
}

std::optional<std::wstring> TForm_main::SaveName(const wchar_t* prefix, const wchar_t* extension) const {
  const std::wstring id = FieldText(IDC_MAIN_EDTID);
  const std::wstring name = prefix + id + extension;
  if (!id.empty() && IsPlainFileName(name)) return name;
  ShowDefaultError(kBadSaveName);
  return std::nullopt;
}

bool TForm_main::SavePhotoBmp(const std::wstring& folder) {
  const std::optional<std::wstring> name = SaveName(L"", L".bmp");
  if (!name) return false;
  if (!FolderExists(folder)) return true;
  const Picture photo = Picture::FromBmpFile(TempPhotoBase() + L".bmp");
  photo.SaveToFile(folder + *name);
  return true;
}

void TForm_main::nimegClick() {
  // The timer runs on while the operator chooses.
  const std::optional<std::wstring> chosen = win::BrowseForFolder(hwnd(), kFolderPrompt);
  if (!chosen) return;
  const std::wstring folder = WithBackslash(*chosen);
  if (!FolderExists(folder)) return;
  // The number as it stands now: a tick during the choice may have read another card.
  if (!SaveName(L"P", L".jpg")) return;
  SetTimeauto(false);
  SaveCardCopy(copy_, folder, win::WideToMulti(FieldText(IDC_MAIN_EDTID), 936));
  ShowMessage(L"复印保存成功！");
  if (AutoFlag == 1) SetTimeauto(true);
}

// The prints stop the automatic timer for the whole job; a failed print leaves it stopped.
void TForm_main::nprintClick() {
  SetTimeauto(false);
  PrintCardCopy(copy_, WindowPpi(hwnd()));
  ShowMessage(kPrintDone);
  if (AutoFlag == 1) SetTimeauto(true);
}

void TForm_main::fileprintClick() {
  SetTimeauto(false);
  const DocumentPage page = MakeDocumentPage(ExeFolderFile(L"da.bmp"), photo_, Fields(), NowText());
  imagda_ = RenderDocumentPage(page);
  PrintDocumentPage(page);
  ShowMessage(kPrintDone);
  if (AutoFlag == 1) SetTimeauto(true);
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
