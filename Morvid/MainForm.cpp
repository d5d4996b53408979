// MainForm of the sample program: layout, the handlers of its controls and timer, and the
// card display from the files that termb.dll leaves.
#include "MainForm.h"

#include <commctrl.h>

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "CardDisplay.h"
#include "Module1.h"
#include "win/App.h"
#include "win/RunTimeError.h"
#include "win/Text.h"

namespace qx::morvid {
namespace {

using win::FromU16;
using win::RunTimeError;
using win::ToU16;

constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kTeal = RGB(0, 128, 128);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kOrange = RGB(255, 128, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kGrey = RGB(128, 128, 128);

// Client area and layout in twips, converted with the screen's pixels per inch.
constexpr int kClientWidth = 10965;
constexpr int kClientHeight = 8115;
constexpr int kCaptionX = 480, kCaptionW = 1140, kValueX = 1680;
constexpr int kRowH = 360;
constexpr int kColumnX = 9240, kColumnW = 1500;
constexpr int kStatusPanelW = 2400;

constexpr UINT kTimer2IntervalMs = 300;

// Opened as a binary open of the language run time does: read and write, the file created
// empty when it is missing; one that allows only reading is read as it is.
std::vector<std::uint8_t> ReadFileCreating(const std::wstring& path) {
  HANDLE f = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE)
    f = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) throw RunTimeError(L"无法打开文件 " + path);
  win::UniqueFile file(f);
  std::vector<std::uint8_t> bytes;
  std::uint8_t buf[4096];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), buf, sizeof buf, &got, nullptr))
      throw RunTimeError(L"无法读取文件 " + path);
    if (got == 0) break;
    bytes.insert(bytes.end(), buf, buf + got);
  }
  return bytes;
}

// The first bytes of a file, or nothing when it cannot be opened.
std::optional<std::vector<std::uint8_t>> ReadFileStart(const std::wstring& path, size_t count) {
  win::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  std::vector<std::uint8_t> bytes(count);
  size_t have = 0;
  while (have < count) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), bytes.data() + have, static_cast<DWORD>(count - have), &got,
                    nullptr))
      return std::nullopt;
    if (got == 0) break;
    have += got;
  }
  bytes.resize(have);
  return bytes;
}

win::UniqueBitmap LoadPicture(const std::wstring& path) {
  if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
    throw RunTimeError(L"找不到文件 " + path);
  HANDLE h = ::LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0,
                          LR_LOADFROMFILE | LR_CREATEDIBSECTION);
  if (!h) throw RunTimeError(L"无效的图片 " + path);
  return win::UniqueBitmap(static_cast<HBITMAP>(h));
}

HICON LoadButtonIcon(int id) {
  return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id),
                                         IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR));
}

}  // namespace

bool MainForm::Create() {
  dpiX_ = win::ScreenDpiX();
  dpiY_ = win::ScreenDpiY();
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  RECT r{0, 0, Tx(kClientWidth), Ty(kClientHeight)};
  ::AdjustWindowRectEx(&r, style, FALSE, 0);
  const int w = r.right - r.left, h = r.bottom - r.top;
  RECT work{0, 0, 800, 600};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int x = work.left + std::max(0, static_cast<int>((work.right - work.left - w) / 2));
  const int y = work.top + std::max(0, static_cast<int>((work.bottom - work.top - h) / 2));
  HICON appIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_MORVID));
  // 32512: the arrow cursor (IDC_ARROW is an ANSI resource name without UNICODE).
  const wchar_t* cls = RegisterClassFor(kMainFormClass, 0, ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)),
                                        ::GetSysColorBrush(COLOR_BTNFACE), appIcon, appIcon);
  return CreateExWithClass(cls, 0, kMainFormCaption, style, x, y, w, h) && exists();
}

RECT MainForm::Place(int left, int top, int width, int height) const {
  return RECT{Tx(left), Ty(top), Tx(left + width), Ty(top + height)};
}

bool MainForm::CreateControls() {
  HWND self = hwnd();
  titleFont_ = win::MakeFont(L"楷体_GB2312", 36, false, dpiY_);
  captionFont_ = win::MakeFont(L"宋体", 12, true, dpiY_);
  label7Font_ = win::MakeFont(L"宋体", 14.25, true, dpiY_);
  valueFont_ = win::MakeFont(L"宋体", 12, true, dpiY_);
  smallFont_ = win::MakeFont(L"宋体", 9, false, dpiY_);
  cardBrush_ = win::UniqueBrush(::CreateSolidBrush(kWhite));

  Label1 = win::Label::Create(self, IDC_LABEL1, L"身份证阅读演示程序", Place(240, 120, 8640, 840),
                              SS_CENTER);
  Label1.SetFont(titleFont_.get());
  looks_.push_back({Label1.hwnd(), kBlue, false});

  Shape2 = Place(240, 1080, 8640, 6360);

  struct Row {
    win::Label* label;
    int id;
    const wchar_t* text;
    int x, y, w, h;
  };
  const Row captions[] = {
      {&Label2, IDC_LABEL2, L"姓名", kCaptionX, 1320, kCaptionW, kRowH},
      {&Label3, IDC_LABEL3, L"性别", kCaptionX, 1860, kCaptionW, kRowH},
      {&Label4, IDC_LABEL4, L"民族", 3000, 1860, 840, kRowH},
      {&Label5, IDC_LABEL5, L"出生", kCaptionX, 2400, kCaptionW, kRowH},
      {&Label6, IDC_LABEL6, L"住址", kCaptionX, 2940, kCaptionW, kRowH},
      {&Label7, IDC_LABEL7, L"公民身份号码", kCaptionX, 4050, 2100, 420},
      {&Label8, IDC_LABEL8, L"签发机关", kCaptionX, 4620, kCaptionW, kRowH},
      {&Label9, IDC_LABEL9, L"有效期限", kCaptionX, 5160, kCaptionW, kRowH},
      {&Label10, IDC_LABEL10, L"最新住址", kCaptionX, 5700, kCaptionW, kRowH},
      {&Label11, IDC_LABEL11, L"芯片号", kCaptionX, 6600, kCaptionW, kRowH},
  };
  for (const Row& c : captions) {
    *c.label = win::Label::Create(self, c.id, c.text, Place(c.x, c.y, c.w, c.h));
    c.label->SetFont(c.label == &Label7 ? label7Font_.get() : captionFont_.get());
    looks_.push_back({c.label->hwnd(), kTeal, true});
  }
  const Row values[] = {
      {&namet, IDC_NAMET, L"", kValueX, 1320, 5160, kRowH},
      {&sex, IDC_SEX, L"", kValueX, 1860, 1080, kRowH},
      {&nation, IDC_NATION, L"", 3960, 1860, 2880, kRowH},
      {&born, IDC_BORN, L"", kValueX, 2400, 5160, kRowH},
      {&address, IDC_ADDRESS, L"", kValueX, 2940, 5160, 1020},
      {&IDN, IDC_IDN, L"", 2700, 4080, 4140, kRowH},
      {&reg, IDC_REG, L"", kValueX, 4620, 6900, kRowH},
      {&ValidDate, IDC_VALIDDATE, L"", kValueX, 5160, 6900, kRowH},
      {&NewAdd, IDC_NEWADD, L"", kValueX, 5700, 6900, 780},
      {&IINSNDN, IDC_IINSNDN, L"", kValueX, 6600, 6900, 720},
  };
  // address and NewAdd are taller: their texts wrap.
  for (const Row& v : values) {
    *v.label = win::Label::Create(self, v.id, v.text, Place(v.x, v.y, v.w, v.h));
    v.label->SetFont(valueFont_.get());
    looks_.push_back({v.label->hwnd(), v.label == &NewAdd ? kOrange : kBlack, true});
  }

  // Upper right of the card area, the size of the library's 102 x 126 photo at 96 dpi.
  Photo = win::Picture::Create(self, IDC_PHOTO, Place(7080, 1260, 1530, 1890));
  looks_.push_back({Photo.hwnd(), kBlack, true});

  Check1 = win::CheckBox::Create(self, IDC_CHECK1, L"连续读卡", Place(kColumnX, 1200, kColumnW, kRowH));
  Check2 = win::CheckBox::Create(self, IDC_CHECK2, L"相片解码", Place(kColumnX, 1620, kColumnW, kRowH));
  // Photos are decoded unless the operator says otherwise; continuous reading starts off.
  Check2.SetChecked(true);
  Check1.SetFont(smallFont_.get());
  Check2.SetFont(smallFont_.get());

  struct Cmd {
    win::Button* button;
    int id;
    const wchar_t* text;
    int top;
    int icon;
    win::UniqueIcon* iconOwner;
  };
  const Cmd cmds[] = {
      {&RdCmd, IDC_RDCMD, L"读 卡", 2160, IDI_READ, &readIcon_},
      {&NewAddCmd, IDC_NEWADDCMD, L"最新住址", 3360, IDI_NEWADD, &newAddIcon_},
      {&cmdReadIINSNDN, IDC_CMDREADIINSNDN, L"读芯片号", 4560, IDI_CHIP, &chipIcon_},
      {&EndCmd, IDC_ENDCMD, L"退 出", 5760, IDI_END, &endIcon_},
  };
  for (const Cmd& c : cmds) {
    *c.button = win::Button::CreateOwnerDrawn(self, c.id, c.text, Place(kColumnX, c.top, kColumnW, 1080));
    c.button->SetFont(smallFont_.get());
    c.iconOwner->reset(LoadButtonIcon(c.icon));
  }

  if (!StatusBar1.Create(self, IDC_STATUSBAR1, smallFont_.get())) return false;
  StatusBar1.AddPanel(L"pg_status", 0);
  StatusBar1.AddPanel(L"status", Tx(kStatusPanelW), L"连接RS-232C口");

  for (const win::Control* c : std::initializer_list<const win::Control*>{
           &Label1, &Label2, &Label3, &Label4, &Label5, &Label6, &Label7, &Label8, &Label9,
           &Label10, &Label11, &namet, &sex, &nation, &born, &address, &IDN, &reg, &ValidDate,
           &NewAdd, &IINSNDN, &Photo, &Check1, &Check2, &RdCmd, &NewAddCmd, &cmdReadIINSNDN,
           &EndCmd})
    if (!c->hwnd()) return false;
  return true;
}

void MainForm::Show(int cmdShow) {
  ::ShowWindow(hwnd(), cmdShow);
  ::UpdateWindow(hwnd());
}

bool MainForm::Load() {
  RunEvent([this] { Form_Load(); });
  return !ended_;
}

// ---- handlers ----

void MainForm::Form_Load() {
  EnableReadButtons(!Check1.IsChecked());
  bUsbPort = false;

  // The first port that answers stays open; the others are not closed again.
  const auto probe = [this](short first, short last) {
    for (short p = first; p <= last; ++p) {
      if (Module1::InitComm(p) == 1) {
        nPort = p;
        return true;
      }
    }
    return false;
  };
  if (!probe(1, 4) && !probe(1001, 1004)) {
    ::MessageBoxW(hwnd(), L"打开端口失败！", L"错误", MB_OK);
    EndProgram(0);
    return;
  }

  if (nPort >= 1001) {
    StatusBar1.SetText(L"status", L"连接USB口");
    bUsbPort = true;
  }

  const std::u16string caption =
      CaptionWithSamId(ToU16(win::Control(hwnd()).Text()), ToU16(Module1::GetSAMID()));
  ::SetWindowTextW(hwnd(), FromU16(caption).c_str());

  timer2Interval_ = kTimer2IntervalMs;
  const bool continuous = Check1.IsChecked();
  EnableReadButtons(!continuous);
  SetTimer2Enabled(continuous);

  vLastResult = 0;
}

void MainForm::Check1_Click() {
  if (Check1.IsChecked()) {
    EnableReadButtons(false);
    SetTimer2Enabled(true);
  } else {
    RdCmd.Enable(true);
    NewAddCmd.Enable(true);
    if (!bUsbPort) cmdReadIINSNDN.Enable(true);
    SetTimer2Enabled(false);
  }
}

void MainForm::Timer2_Timer() {
  const std::wstring folder = win::ModuleDirW();
  if (vLastResult == -1) {
    // The card of a read whose photo failed is shown again, without its photo.
    ShowCard(folder, PhotoUse::Skip);
    ClearPhoto();
    SetStatus(kTextPhotoError);
  } else {
    SetStatus(LastResultText(vLastResult));
  }

  if (Module1::Authenticate() != 1) return;

  ClearDisplay();
  SetStatus(kTextReading);
  const short result = Module1::Read_Content(Check2.IsChecked() ? 1 : 2);
  if (result == 1) {
    vLastResult = 1;
    ShowCardInfo(folder);
  } else if (result == -1) {
    ShowCard(folder, PhotoUse::Skip);
    ClearPhoto();
    vLastResult = -1;
  } else if (result >= -4 && result <= -2) {
    vLastResult = result;
  } else {
    vLastResult = 2;
  }
}

void MainForm::RdCmd_Click() {
  const std::wstring folder = win::ModuleDirW();
  ClearDisplay();
  SetStatus(kTextReading);
  Module1::AuthenticateExt();  // a read is tried whatever it says
  const short result = Module1::Read_Content(Check2.IsChecked() ? 4 : 2);
  if (result == 1) {
    ShowCardInfo(folder);
  } else if (result == -1) {
    ShowCard(folder, PhotoUse::Skip);
    ClearPhoto();
  }
  SetStatus(ReadResultText(result));
}

void MainForm::EndCmd_Click() {
  Module1::CloseComm();
  EndProgram(0);
}

void MainForm::Form_Unload(int& /*cancel*/) {
  Module1::CloseComm();
  EndProgram(0);
}

void MainForm::cmdReadIINSNDN_Click() {
  IINSNDN.SetText(L"");
  SetStatus(kTextReading);
  if (Module1::AuthenticateExt() != 1) {
    SetStatus(kTextPlaceAgain);
    return;
  }
  if (Module1::Read_Content(4) != 1) {
    SetStatus(kTextChipFailed);
    return;
  }
  // The file has no folder: the library leaves it in the current folder.
  const auto bytes = ReadFileStart(L"IINSNDN.bin", kChipBytes);
  if (!bytes) {
    // A success without its file is a failed read, not a chip number of zeros.
    SetStatus(kTextChipFailed);
    return;
  }
  strChipNo = FromU16(ChipNumberText(*bytes));
  IINSNDN.SetText(FromU16(std::u16string(TrimLeadingBlanks(ToU16(strChipNo)))));
  SetStatus(kTextReadOk);
}

void MainForm::NewAddCmd_Click() {
  NewAdd.SetText(L"");
  SetStatus(kTextReading);
  Module1::Authenticate();  // the read follows whatever it says
  if (Module1::Read_Content(3) != 1) {
    SetStatus(kTextNewAddFailed);
    return;
  }
  const std::u16string text = TextFromBytePairs(ReadFileCreating(L"newadd.txt"));
  NewAdd.SetText(FromU16(text));
  SetStatus(kTextReadOk);
}

void MainForm::ShowCardInfo(const std::wstring& folder) { ShowCard(folder, PhotoUse::Load); }

void MainForm::GetNation(const std::wstring& strNationcode, std::wstring& strNation) const {
  std::u16string name = ToU16(strNation);
  qx::morvid::GetNation(ToU16(strNationcode), name);
  strNation = FromU16(name);
}

// ---- display ----

void MainForm::ShowCard(const std::wstring& folder, PhotoUse photo) {
  const std::u16string text = TextFromBytePairs(ReadFileCreating(folder + L"\\wz.txt"));
  const CardLabels l = CardLabelsFrom(text);
  namet.SetText(FromU16(l.namet));
  sex.SetText(FromU16(l.sex));
  nation.SetText(FromU16(l.nation));
  born.SetText(FromU16(l.born));
  address.SetText(FromU16(l.address));
  IDN.SetText(FromU16(l.IDN));
  reg.SetText(FromU16(l.reg));
  ValidDate.SetText(FromU16(l.ValidDate));
  if (photo == PhotoUse::Load && Check2.IsChecked()) {
    win::UniqueBitmap bmp = LoadPicture(folder + L"\\zp.bmp");
    Photo.SetBitmap(bmp.get());
    photoBitmap_ = std::move(bmp);  // the picture shown before is freed here
  }
}

void MainForm::ClearDisplay() {
  for (const win::Label* l : {&namet, &sex, &nation, &born, &address, &IDN, &reg, &ValidDate,
                              &NewAdd, &IINSNDN})
    l->SetText(L"");
  ClearPhoto();
}

void MainForm::ClearPhoto() {
  Photo.SetBitmap(nullptr);
  photoBitmap_.reset();
}

void MainForm::SetStatus(std::u16string_view text) {
  StatusBar1.SetText(L"pg_status", FromU16(std::u16string(text)));
}

void MainForm::EnableReadButtons(bool on) {
  RdCmd.Enable(on);
  NewAddCmd.Enable(on);
  cmdReadIINSNDN.Enable(on);
}

void MainForm::SetTimer2Enabled(bool on) {
  timer2Enabled_ = on;
  ArmTimer2();
}

void MainForm::ArmTimer2() {
  if (!exists()) return;
  if (timer2Enabled_ && timer2Interval_ > 0 && !ended_)
    ::SetTimer(hwnd(), kTimer2Id, timer2Interval_, nullptr);
  else
    ::KillTimer(hwnd(), kTimer2Id);
}

// ---- boundary and end ----

void MainForm::RunEvent(const std::function<void()>& handler) {
  if (busy_ || ended_) return;
  busy_ = true;
  win::RunReportingErrors(handler, [this](const std::wstring& text) { ReportRunTimeError(text); });
  busy_ = false;
}

void MainForm::ReportRunTimeError(const std::wstring& text) {
  // No tick may run in the message box's loop.
  if (exists()) ::KillTimer(hwnd(), kTimer2Id);
  win::ShowRunTimeError(exists() ? hwnd() : nullptr, text, L"Morvid");
  EndProgram(1);
}

void MainForm::EndProgram(int code) {
  ended_ = true;
  exitCode_ = code;
  if (exists()) {
    ::KillTimer(hwnd(), kTimer2Id);
    // Destroying the window directly: the close message, and with it Form_Unload, is not sent.
    ::DestroyWindow(hwnd());
  }
}

void MainForm::OnFinalDestroy() {
  ClearPhoto();
  if (quitOnEnd_) ::PostQuitMessage(exitCode_);
}

// ---- messages ----

bool MainForm::OnCreate(const CREATESTRUCTW&) { return CreateControls(); }

win::CommandTable MainForm::Commands() const {
  static const win::CommandEntry kCommands[] = {
      win::Command(IDC_CHECK1, &MainForm::Check1_Click),
      win::Command(IDC_RDCMD, &MainForm::RdCmd_Click),
      win::Command(IDC_NEWADDCMD, &MainForm::NewAddCmd_Click),
      win::Command(IDC_CMDREADIINSNDN, &MainForm::cmdReadIINSNDN_Click),
      win::Command(IDC_ENDCMD, &MainForm::EndCmd_Click),
  };
  return kCommands;
}

bool MainForm::OnTimer(UINT_PTR id) {
  if (id != kTimer2Id) return false;
  // A disabled timer never ticks, whatever is still queued.
  if (timer2Enabled_) RunEvent([this] { Timer2_Timer(); });
  return true;
}

bool MainForm::OnClose() {
  RunEvent([this] {
    int cancel = 0;
    Form_Unload(cancel);
  });
  return true;
}

void MainForm::OnSize(UINT, int, int) { StatusBar1.Resize(); }

bool MainForm::OnDrawItem(const DRAWITEMSTRUCT& item) {
  if (item.CtlType != ODT_BUTTON) return false;
  const std::pair<int, HICON> icons[] = {
      {IDC_RDCMD, readIcon_.get()},
      {IDC_NEWADDCMD, newAddIcon_.get()},
      {IDC_CMDREADIINSNDN, chipIcon_.get()},
      {IDC_ENDCMD, endIcon_.get()},
  };
  HICON icon = nullptr;
  for (const auto& [id, i] : icons)
    if (static_cast<UINT>(id) == item.CtlID) icon = i;
  win::DrawIconButton(item, icon);
  return true;
}

HBRUSH MainForm::OnCtlColorStatic(HDC dc, HWND control) {
  for (const Look& l : looks_) {
    if (l.control != control) continue;
    ::SetTextColor(dc, l.text);
    ::SetBkColor(dc, l.onCard ? kWhite : ::GetSysColor(COLOR_BTNFACE));
    return l.onCard ? cardBrush_.get() : ::GetSysColorBrush(COLOR_BTNFACE);
  }
  return nullptr;
}

bool MainForm::OnPaint() {
  win::PaintDc pdc(hwnd());
  HDC dc = pdc.get();
  ::FillRect(dc, &Shape2, cardBrush_.get());
  win::UniqueBrush border(::CreateSolidBrush(kGrey));
  ::FrameRect(dc, &Shape2, border.get());
  return true;
}

}  // namespace qx::morvid
