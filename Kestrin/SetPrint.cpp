// Unit SetPrint: the print-count dialog, the print job on the default printer and the pages.
#include "SetPrint.h"

#include <winspool.h>

#include <cstdint>
#include <vector>

#include "CardFace.h"
#include "Program.h"
#include "win/Handle.h"
#include "win/Text.h"

namespace qx::kestrin {

namespace {

constexpr int kClientWidth = 233;
constexpr int kClientHeight = 145;
constexpr wchar_t kItems[3][8] = {L"打印", L"打印最近两张", L"打印最近三张"};

RECT Box(int x, int y, int w, int h) { return RECT{x, y, x + w, y + h}; }

std::u16string WideOfAnsi(std::string_view ansi) { return win::ToU16(FromGbk(ansi)); }

}  // namespace

// ---- TfrmSetPrint ----

TfrmSetPrint::TfrmSetPrint(int* printCount)
    : CodeDialog(kSetPrintCaption, DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU, kClientWidth,
                 kClientHeight),
      printCount_(printCount) {}

TfrmSetPrint::~TfrmSetPrint() {
  if (exists()) ::DestroyWindow(hwnd());
}

BOOL TfrmSetPrint::OnInitDialog() {
  HWND h = hwnd();
  font_ = win::MakeFont(L"MS Sans Serif", 8, false, 96);
  rgSetPrint = win::Button::Create(h, IDC_RGSETPRINT, L"设置", Box(8, 6, 217, 92), BS_GROUPBOX);
  for (int i = 0; i < 3; ++i) {
    const DWORD style = BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP | WS_TABSTOP : 0);
    rgItems[i] = win::CheckBox(
        win::Button::Create(h, IDC_RGSETPRINT_1 + i, kItems[i], Box(24, 26 + 22 * i, 185, 18), style).hwnd());
  }
  btn1 = win::Button::Create(h, IDC_BTN1, L"打印(&P)", Box(24, 108, 80, 25), BS_PUSHBUTTON | WS_GROUP | WS_TABSTOP);
  btn2 = win::Button::Create(h, IDC_BTN2, L"取消(&Q)", Box(128, 108, 80, 25));
  for (HWND c = ::GetWindow(h, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
    ::SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  SetItemIndex(itemIndex_);
  return TRUE;
}

int TfrmSetPrint::ItemIndex() const {
  if (!exists()) return itemIndex_;
  for (int i = 0; i < 3; ++i)
    if (rgItems[i].IsChecked()) return i;
  return -1;
}

void TfrmSetPrint::SetItemIndex(int index) {
  itemIndex_ = index;
  if (!exists()) return;
  for (int i = 0; i < 3; ++i) rgItems[i].SetChecked(i == index);
}

void TfrmSetPrint::btn1Click() {
  const int item = ItemIndex();
  // No item selected leaves the count as it was.
  if (printCount_ && item >= 0) *printCount_ = item + 1;
  EndDialog(IDOK);
}

void TfrmSetPrint::btn2Click() {
  if (printCount_) *printCount_ = 0;
  EndDialog(IDCANCEL);
}

win::CommandTable TfrmSetPrint::Commands() const {
  static const win::CommandEntry kCommands[] = {
      win::Command(IDC_BTN1, &TfrmSetPrint::btn1Click),
      win::Command(IDC_BTN2, &TfrmSetPrint::btn2Click),
  };
  return kCommands;
}

std::wstring RecordShortageText(int count) { return L"记录数量不足" + std::to_wstring(count) + L"条，请重新选择"; }

// ---- the job ----

PrintJob::PrintJob(const wchar_t* title) {
  wchar_t name[512];
  DWORD size = static_cast<DWORD>(std::size(name));
  if (!::GetDefaultPrinterW(name, &size)) throw PrintError(u8"没有默认打印机");
  const std::wstring printer = L"打印机 \"" + std::wstring(name) + L"\"";
  dc_ = ::CreateDCW(L"WINSPOOL", name, nullptr, nullptr);
  if (!dc_) throw PrintError(win::WideToUtf8(win::WithSystemReason(printer + L" 无法使用", ::GetLastError())));
  DOCINFOW doc{};
  doc.cbSize = sizeof doc;
  doc.lpszDocName = title;
  if (::StartDocW(dc_, &doc) <= 0) {
    const DWORD err = ::GetLastError();
    ::DeleteDC(dc_);
    throw PrintError(win::WideToUtf8(win::WithSystemReason(printer + L" 的打印作业无法开始", err)));
  }
  if (::StartPage(dc_) <= 0) {
    const DWORD err = ::GetLastError();
    ::EndDoc(dc_);
    ::DeleteDC(dc_);
    throw PrintError(win::WideToUtf8(win::WithSystemReason(printer + L" 的打印作业无法开始", err)));
  }
}

PrintJob::~PrintJob() {
  if (!ended_) {
    // A step failed: what was drawn so far still goes out, as the job is ended, not aborted.
    ::EndPage(dc_);
    ::EndDoc(dc_);
  }
  ::DeleteDC(dc_);
}

int PrintJob::PpiX() const { return ::GetDeviceCaps(dc_, LOGPIXELSX); }
int PrintJob::PpiY() const { return ::GetDeviceCaps(dc_, LOGPIXELSY); }

void PrintJob::End() {
  ended_ = true;
  const bool pageOk = ::EndPage(dc_) > 0;
  const DWORD pageErr = ::GetLastError();
  const bool docOk = ::EndDoc(dc_) > 0;
  const DWORD err = pageOk ? ::GetLastError() : pageErr;
  if (!pageOk || !docOk) throw PrintError(win::WideToUtf8(win::WithSystemReason(L"打印作业无法结束", err)));
}

POINT WindowPpi(HWND window) {
  HDC dc = ::GetDC(window);
  POINT ppi{96, 96};
  if (dc) {
    ppi = POINT{::GetDeviceCaps(dc, LOGPIXELSX), ::GetDeviceCaps(dc, LOGPIXELSY)};
    ::ReleaseDC(window, dc);
  }
  return ppi;
}

// ---- the pages ----

CopyPictureSizes SizesOf(const Picture& front, const Picture& back) {
  return CopyPictureSizes{front.Width(), front.Height(), back.Width(), back.Height()};
}

void StretchPicture(HDC dc, const Picture& picture, const PrintRect& r) {
  if (picture.Empty()) return;
  const int w = picture.Width(), h = picture.Height();
  // As device-independent bits: a printer DC takes no memory-DC blit.
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<std::uint8_t> bits(static_cast<size_t>((w * 3 + 3) & ~3) * static_cast<size_t>(h));
  {
    win::UniqueMemDc mem(::CreateCompatibleDC(nullptr));
    if (::GetDIBits(mem.get(), picture.Handle(), 0, static_cast<UINT>(h), bits.data(), &info, DIB_RGB_COLORS) != h)
      throw PrintError(u8"图像无法读取");
  }
  ::SetStretchBltMode(dc, COLORONCOLOR);
  const int lines = ::StretchDIBits(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, 0, 0, w, h, bits.data(),
                                    &info, DIB_RGB_COLORS, SRCCOPY);
  if (lines <= 0) throw PrintError(u8"图像无法打印");  // GDI_ERROR is -1 here
}

void DrawCardPrintPage(HDC dc, const CardCopyImages& images, int kx, int ky) {
  const CopyRects at = CardPrintRects(kx, ky, SizesOf(images.front, images.back));
  StretchPicture(dc, images.front, at.front);
  StretchPicture(dc, images.back, at.back);
}

void DrawRecordCopy(HDC dc, const Picture& front, const Picture& back, int kx, int ky, int top) {
  const CopyRects at = RecordCopyRects(kx, ky, top, SizesOf(front, back));
  StretchPicture(dc, front, at.front);
  StretchPicture(dc, back, at.back);
}

DocumentPage MakeDocumentPage(const std::wstring& pagePath, const Picture& photo, const CardFields& fields,
                              std::string_view printTime) {
  DocumentPage page{LoadTemplate24(pagePath), DocumentTexts(fields, printTime, &WideOfAnsi)};
  if (!photo.Empty()) {
    win::UniqueMemDc dc(::CreateCompatibleDC(nullptr));
    win::SelectGuard keep(dc.get(), page.picture.Handle());
    DrawPhotoTransparent(dc.get(), kDocPhotoAt.x, kDocPhotoAt.y, photo);
    ::GdiFlush();
  }
  return page;
}

void DrawDocumentPage(HDC dc, const DocumentPage& page, const PrintRect& r) {
  StretchPicture(dc, page.picture, r);
  if (page.picture.Empty()) return;
  const int saved = ::SaveDC(dc);
  // Text is cut at the page's edge as if drawn into the picture: a long row stays on the page.
  ::IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
  // Logical units are the page's pixels from here on.
  ::SetMapMode(dc, MM_ANISOTROPIC);
  ::SetWindowExtEx(dc, page.picture.Width(), page.picture.Height(), nullptr);
  ::SetViewportExtEx(dc, r.right - r.left, r.bottom - r.top, nullptr);
  ::SetViewportOrgEx(dc, r.left, r.top, nullptr);
  // Points at a resolution of the font's own: 15 page pixels on any device.
  win::UniqueFont font = win::MakeFont(L"MS Sans Serif", kDocFontPoints, false, 96);
  ::SelectObject(dc, font.get());
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, RGB(0, 0, 0));
  ::SetTextAlign(dc, TA_LEFT | TA_TOP);
  bool drawn = true;
  for (const DocText& t : page.texts) {
    const std::wstring text = win::FromU16(t.text);
    if (!text.empty()) drawn = ::TextOutW(dc, t.at.x, t.at.y, text.c_str(), static_cast<int>(text.size())) && drawn;
  }
  // Restoring the DC selects the font out before it goes.
  ::RestoreDC(dc, saved);
  if (!drawn) throw PrintError(u8"文字无法打印");
}

Picture RenderDocumentPage(const DocumentPage& page) {
  if (page.picture.Empty()) return Picture();
  Picture out = Picture::Create(page.picture.Width(), page.picture.Height());
  win::UniqueMemDc dc(::CreateCompatibleDC(nullptr));
  {
    win::SelectGuard keep(dc.get(), out.Handle());
    DrawDocumentPage(dc.get(), page, PrintRect{0, 0, out.Width(), out.Height()});
    ::GdiFlush();
  }
  return out;
}

void PrintCardCopy(const CardCopyImages& images, POINT windowPpi) {
  PrintJob job;
  DrawCardPrintPage(job.Dc(), images, PrintScale(job.PpiX(), windowPpi.x), PrintScale(job.PpiY(), windowPpi.y));
  job.End();
}

void PrintDocumentPage(const DocumentPage& page) {
  PrintJob job;
  DrawDocumentPage(job.Dc(), page, DocumentPageRect(job.PpiX(), job.PpiY()));
  job.End();
}

}  // namespace qx::kestrin
