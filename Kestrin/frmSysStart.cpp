// Unit frmSysStart: the splash window, its picture decoded from the JPEG stored with it and
// the label standing on it.
#include "frmSysStart.h"

#include <stdexcept>

#include "Program.h"

namespace qx::kestrin {
namespace {

constexpr int kDesignWidth = 579;
constexpr int kDesignHeight = 377;
constexpr int kLabelX = 533, kLabelY = 256;
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kCream = RGB(255, 251, 240);

std::vector<std::uint8_t> ResourceBytes(int id) {
  HMODULE self = ::GetModuleHandleW(nullptr);
  HRSRC res = ::FindResourceW(self, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
  HGLOBAL data = res ? ::LoadResource(self, res) : nullptr;
  const void* p = data ? ::LockResource(data) : nullptr;
  if (!p) throw win::RunTimeError(win::WithSystemReason(L"程序中缺少启动图片", ::GetLastError()));
  const auto* b = static_cast<const std::uint8_t*>(p);
  return std::vector<std::uint8_t>(b, b + ::SizeofResource(self, res));
}

}  // namespace

TForm_SysStart::~TForm_SysStart() {
  // The window goes before the picture and the brushes it paints with.
  if (exists()) ::DestroyWindow(hwnd());
}

void TForm_SysStart::Create() {
  picture_ = DecodeJpeg(ResourceBytes(IDR_SPLASH_JPEG), &pictureSize_);
  cream_.reset(::CreateSolidBrush(kCream));
  const wchar_t* cls = RegisterClassFor(kSysStartClass, 0, ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
  RECT work{0, 0, 1024, 768};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int x = work.left + (work.right - work.left - kDesignWidth) / 2;
  const int y = work.top + (work.bottom - work.top - kDesignHeight) / 2;
  // WS_EX_TOOLWINDOW: the splash has no task bar button of its own.
  if (!CreateExWithClass(cls, WS_EX_TOOLWINDOW, L"", WS_POPUP | WS_CLIPCHILDREN, x, y, kDesignWidth,
                         kDesignHeight))
    throw win::RunTimeError(win::WithSystemReason(L"无法创建启动窗口", ::GetLastError()));

  LOGFONTW lf{};
  lf.lfHeight = -24;
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(lf.lfFaceName, L"MS Serif", LF_FACESIZE);
  labelFont_.reset(::CreateFontIndirectW(&lf));
  // The label sizes itself to its caption.
  SIZE text{14, 24};
  {
    win::WindowDc dc(hwnd());
    win::SelectGuard keep(dc.get(), labelFont_.get());
    ::GetTextExtentPoint32W(dc.get(), L"5", 1, &text);
  }
  label1_ = win::Label::Create(hwnd(), IDC_SPLASH_LABEL1, L"5",
                               RECT{kLabelX, kLabelY, kLabelX + text.cx, kLabelY + text.cy});
  if (!label1_) throw win::RunTimeError(win::WithSystemReason(L"无法创建启动窗口的标签", ::GetLastError()));
  label1_.SetFont(labelFont_.get());
}

void TForm_SysStart::Show() {
  ::ShowWindow(hwnd(), SW_SHOW);
  ::UpdateWindow(hwnd());
}

void TForm_SysStart::FormShow() {
  ::SetWindowPos(hwnd(), nullptr, 0, 0, pictureSize_.cx, pictureSize_.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm_SysStart::OnShowWindow(bool show, UINT) {
  if (show) RunHandler([this] { FormShow(); });
}

bool TForm_SysStart::OnEraseBackground(HDC) { return true; }  // the picture covers the whole client area

HBRUSH TForm_SysStart::OnCtlColorStatic(HDC dc, HWND control) {
  if (control != label1_.hwnd()) return nullptr;
  ::SetTextColor(dc, kRed);
  ::SetBkColor(dc, kCream);
  return cream_.get();
}

bool TForm_SysStart::OnPaint() {
  win::PaintDc paint(hwnd());
  RECT client{};
  ::GetClientRect(hwnd(), &client);
  win::UniqueMemDc src(::CreateCompatibleDC(paint.get()));
  win::SelectGuard keep(src.get(), picture_.get());
  // Image1 fills the client area and shows the picture at its own size.
  ::FillRect(paint.get(), &client, ::GetSysColorBrush(COLOR_BTNFACE));
  ::BitBlt(paint.get(), 0, 0, pictureSize_.cx, pictureSize_.cy, src.get(), 0, 0, SRCCOPY);
  return true;
}

}  // namespace qx::kestrin
