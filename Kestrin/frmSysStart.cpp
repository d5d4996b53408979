// Unit frmSysStart: the splash window, its picture decoded from the JPEG stored with it and
// the label standing on it.
#include "frmSysStart.h"

#include <csetjmp>
#include <cstdio>
#include <stdexcept>
#include <utility>
#include <string>

extern "C" {
#include <jpeglib.h>
}

#include "KestrinApp.h"

namespace qx::kestrin {
namespace {

constexpr int kDesignWidth = 579;
constexpr int kDesignHeight = 377;
constexpr int kLabelX = 533, kLabelY = 256;
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kCream = RGB(255, 251, 240);

// libjpeg's errors must not return: they jump back to the frame that called the library,
// which holds nothing that needs unwinding.
struct JpegErrors {
  jpeg_error_mgr pub;
  std::jmp_buf back;
  char text[JMSG_LENGTH_MAX];
};

void OnJpegError(j_common_ptr c) {
  auto* e = reinterpret_cast<JpegErrors*>(c->err);
  (*c->err->format_message)(c, e->text);
  std::longjmp(e->back, 1);
}

void OnJpegMessage(j_common_ptr) {}

// Fills bits (rows of stride bytes, BGR) from the JPEG; false with the library's message.
bool DecodeInto(const std::vector<std::uint8_t>& bytes, jpeg_decompress_struct& d, JpegErrors& errors,
                void* (*allocate)(void*, int, int, int*), void* ctx) {
  if (setjmp(errors.back)) return false;
  jpeg_mem_src(&d, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&d, TRUE);
  d.out_color_space = JCS_RGB;
  jpeg_start_decompress(&d);
  int stride = 0;
  auto* bits = static_cast<std::uint8_t*>(
      allocate(ctx, static_cast<int>(d.output_width), static_cast<int>(d.output_height), &stride));
  if (!bits) return false;
  while (d.output_scanline < d.output_height) {
    std::uint8_t* row = bits + static_cast<size_t>(d.output_scanline) * stride;
    JSAMPROW rows[1] = {row};
    jpeg_read_scanlines(&d, rows, 1);
    for (JDIMENSION x = 0; x < d.output_width; ++x) std::swap(row[x * 3], row[x * 3 + 2]);
  }
  jpeg_finish_decompress(&d);
  return true;
}

std::vector<std::uint8_t> ResourceBytes(int id) {
  HMODULE self = ::GetModuleHandleW(nullptr);
  HRSRC res = ::FindResourceW(self, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
  HGLOBAL data = res ? ::LoadResource(self, res) : nullptr;
  const void* p = data ? ::LockResource(data) : nullptr;
  if (!p) throw std::runtime_error("start-up picture missing from the program");
  const auto* b = static_cast<const std::uint8_t*>(p);
  return std::vector<std::uint8_t>(b, b + ::SizeofResource(self, res));
}

}  // namespace

win::UniqueBitmap DecodeJpeg(const std::vector<std::uint8_t>& bytes, SIZE* size) {
  struct Target {
    win::UniqueBitmap bmp;
    SIZE size{0, 0};
  } target;
  auto allocate = [](void* ctx, int w, int h, int* stride) -> void* {
    auto* t = static_cast<Target*>(ctx);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;  // top-down, as the decoder delivers rows
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    t->bmp.reset(::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    t->size = SIZE{w, h};
    *stride = (w * 3 + 3) & ~3;
    return t->bmp ? bits : nullptr;
  };
  jpeg_decompress_struct d{};
  JpegErrors errors{};
  d.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = OnJpegError;
  errors.pub.output_message = OnJpegMessage;
  jpeg_create_decompress(&d);
  const bool ok = DecodeInto(bytes, d, errors, allocate, &target);
  jpeg_destroy_decompress(&d);
  if (!ok) throw std::runtime_error(std::string("start-up picture: ") + (errors.text[0] ? errors.text : "no picture"));
  ::GdiFlush();
  if (size) *size = target.size;
  return std::move(target.bmp);
}

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
    throw std::runtime_error("start-up window cannot be made");

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
  if (!label1_) throw std::runtime_error("start-up label cannot be made");
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

LRESULT TForm_SysStart::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SHOWWINDOW:
      if (wp) RunHandler([this] { FormShow(); });
      break;
    case WM_ERASEBKGND:
      return 1;  // the picture covers the whole client area
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lp) == label1_.hwnd()) {
        HDC dc = reinterpret_cast<HDC>(wp);
        ::SetTextColor(dc, kRed);
        ::SetBkColor(dc, kCream);
        return reinterpret_cast<LRESULT>(cream_.get());
      }
      break;
    default:
      break;
  }
  return Default(msg, wp, lp);
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
