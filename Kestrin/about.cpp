// Unit about: the about box; its logo is drawn stretched, with the colour of its top-left
// pixel left out wherever it occurs.
#include "about.h"

#include "KestrinApp.h"

namespace qx::kestrin {
namespace {

constexpr int kClientWidth = 300;
constexpr int kClientHeight = 153;

}  // namespace

BOOL TForm_about::OnInitDialog() {
  PlaceDialog(hwnd(), kClientWidth, kClientHeight);
  if (!CreateComponents()) EndDialog(IDABORT);
  return TRUE;
}

bool TForm_about::CreateComponents() {
  HWND self = hwnd();
  LOGFONTW lf{};
  lf.lfHeight = -11;
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(lf.lfFaceName, L"MS Sans Serif", LF_FACESIZE);
  font_.reset(::CreateFontIndirectW(&lf));
  logo_.reset(static_cast<HBITMAP>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_ABOUT_LOGO),
                                                IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));

  Image1 = win::Control(::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_OWNERDRAW, 16, 10, 65,
                                          55, self, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_ABOUT_IMAGE1)),
                                          ::GetModuleHandleW(nullptr), nullptr));
  Label1 = win::Label::Create(self, IDC_ABOUT_LABEL1, L"Tesmo验证软件", RECT{150, 13, 238, 26});
  Label2 = win::Label::Create(self, IDC_ABOUT_LABEL2, L"Version 6.5", RECT{151, 33, 220, 46});
  Button1 = win::Button::Create(self, IDC_ABOUT_BUTTON1, L"确定", RECT{206, 120, 281, 145});
  for (const win::Control* c : {static_cast<const win::Control*>(&Image1), static_cast<const win::Control*>(&Label1),
                                static_cast<const win::Control*>(&Label2),
                                static_cast<const win::Control*>(&Button1)}) {
    if (!c->hwnd()) return false;
    c->SetFont(font_.get());
  }
  return logo_ ? true : false;
}

win::CommandTable TForm_about::Commands() const {
  static const win::CommandEntry kCommands[] = {win::Command(IDC_ABOUT_BUTTON1, &TForm_about::Button1Click)};
  return kCommands;
}

void TForm_about::OnShowWindow(bool show, UINT) {
  if (show) RunHandler([this] { FormShow(); });
}

bool TForm_about::OnDrawItem(const DRAWITEMSTRUCT& item) {
  if (item.CtlID != IDC_ABOUT_IMAGE1) return false;
  DrawImage1(item);
  return true;
}

void TForm_about::FormShow() {
  win::UniqueMemDc dc(::CreateCompatibleDC(nullptr));
  win::SelectGuard keep(dc.get(), logo_.get());
  transparent_ = ::GetPixel(dc.get(), 0, 0);
  ::InvalidateRect(Image1.hwnd(), nullptr, TRUE);
}

void TForm_about::Button1Click() { EndDialog(IDOK); }

void TForm_about::DrawImage1(const DRAWITEMSTRUCT& dis) const {
  const RECT& r = dis.rcItem;
  ::FillRect(dis.hDC, &r, ::GetSysColorBrush(COLOR_BTNFACE));
  if (!logo_) return;
  BITMAP bm{};
  ::GetObjectW(logo_.get(), sizeof bm, &bm);
  win::UniqueMemDc src(::CreateCompatibleDC(dis.hDC));
  win::SelectGuard keep(src.get(), logo_.get());
  if (transparent_ == CLR_INVALID) {
    ::StretchBlt(dis.hDC, r.left, r.top, r.right - r.left, r.bottom - r.top, src.get(), 0, 0, bm.bmWidth,
                 bm.bmHeight, SRCCOPY);
    return;
  }
  ::TransparentBlt(dis.hDC, r.left, r.top, r.right - r.left, r.bottom - r.top, src.get(), 0, 0, bm.bmWidth,
                   bm.bmHeight, transparent_);
}

}  // namespace qx::kestrin
