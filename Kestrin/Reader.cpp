// Reader access unit: the reader libraries are linked at load time (sdtapi.dll, with
// SDT_GetCOMBaud through the "SDTAPI.DLL" entry, and WltRS.dll); JPEG output by libjpeg.
#include "Reader.h"

#include <windows.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "card/CardTextBlock.h"
#include "reader/ReaderApi.h"
#include "win/App.h"
#include "win/Handle.h"
#include "win/Text.h"

extern "C" {
#include <jpeglib.h>
#include <jerror.h>
}

namespace qx::kestrin {

namespace {

using namespace qx::reader;

// The program's title is the caption of its plain message boxes.
constexpr wchar_t kAppTitle[] = L"Tesmo二代身份验证";

// What is kept of the card text.
constexpr std::size_t kCardTextChars = 120;

struct StatusText {
  int status;
  const wchar_t* text;
};

constexpr StatusText kStatusTexts[] = {
    {0x01, L"端口打开失败/端口未打开/端口号不合法"},
    {0x02, L"PC接收超时，在规定的时间内未接收到规定长度的数据。"},
    {0x03, L"数据传输错误"},
    {0x05, L"SAM_V串口不可用，SDT_GetCOMBaud"},
    {0x10, L"接收业务终端数据的校验和错"},
    {0x11, L"接收业务终端数据的长度错"},
    {0x21, L"接收业务终端的命令错误"},
    {0x23, L"越权操作"},
    {0x31, L"证/卡证认SAM_V失败"},
    {0x32, L"SAM_V认证证/卡失败"},
    {0x33, L"信息验证错误"},
    {0x40, L"无法识别的卡类型"},
    {0x41, L"读证/卡操作失败"},
    {0x47, L"取随机数失败"},
    {0x60, L"SAM_V自检失败，不能接收命令"},
    {0x66, L"SAM_V没经过授权,无法使用"},  // the library's own ASCII comma
};
constexpr wchar_t kUnknownStatus[] = L"无法识别的错误";

void WriteWholeFile(const std::wstring& path, const void* data, DWORD size) {
  qx::win::UniqueFile f(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) {
    const DWORD err = ::GetLastError();
    throw ReaderError("cannot create " + qx::win::WideToUtf8(path), err);
  }
  DWORD written = 0;
  if (size && (!::WriteFile(f.get(), data, size, &written, nullptr) || written != size)) {
    const DWORD err = ::GetLastError();
    throw ReaderError("cannot write " + qx::win::WideToUtf8(path), err);
  }
}

// ---- JPEG ---------------------------------------------------------------------------------
// libjpeg reports errors through a callback that must not return; it jumps back to the one
// frame that called the library, which holds no C++ objects, so nothing is skipped.

struct JpegErrors {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void OnJpegError(j_common_ptr c) {
  auto* e = reinterpret_cast<JpegErrors*>(c->err);
  (*c->err->format_message)(c, e->message);
  std::longjmp(e->jump, 1);
}

void OnJpegMessage(j_common_ptr) {}  // warnings are not printed to a console the program lacks

constexpr std::size_t kJpegChunk = 16384;

struct VectorDestination {
  jpeg_destination_mgr pub;
  std::vector<JOCTET>* out;
  JOCTET chunk[kJpegChunk];
};

bool AppendChunk(VectorDestination* d, std::size_t n) noexcept {
  try {
    d->out->insert(d->out->end(), d->chunk, d->chunk + n);
    return true;
  } catch (...) {
    return false;
  }
}

void DestInit(j_compress_ptr c) {
  auto* d = reinterpret_cast<VectorDestination*>(c->dest);
  d->pub.next_output_byte = d->chunk;
  d->pub.free_in_buffer = kJpegChunk;
}

boolean DestEmpty(j_compress_ptr c) {
  auto* d = reinterpret_cast<VectorDestination*>(c->dest);
  if (!AppendChunk(d, kJpegChunk)) ERREXIT1(c, JERR_OUT_OF_MEMORY, 0);
  d->pub.next_output_byte = d->chunk;
  d->pub.free_in_buffer = kJpegChunk;
  return TRUE;
}

void DestTerm(j_compress_ptr c) {
  auto* d = reinterpret_cast<VectorDestination*>(c->dest);
  if (!AppendChunk(d, kJpegChunk - d->pub.free_in_buffer)) ERREXIT1(c, JERR_OUT_OF_MEMORY, 0);
}

// Rows of BGR triples, top row first, into a baseline colour JPEG with libjpeg's defaults.
// Answers false with the library's message; the compressor is destroyed on both roads.
bool CompressBgr(const std::uint8_t* pixels, JDIMENSION width, JDIMENSION height, std::size_t stride,
                 int quality, VectorDestination* dest, char* message) {
  jpeg_compress_struct cinfo;
  JpegErrors errors;
  cinfo.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = OnJpegError;
  errors.pub.output_message = OnJpegMessage;
  if (setjmp(errors.jump)) {
    std::memcpy(message, errors.message, JMSG_LENGTH_MAX);
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  dest->pub.init_destination = DestInit;
  dest->pub.empty_output_buffer = DestEmpty;
  dest->pub.term_destination = DestTerm;
  cinfo.dest = &dest->pub;
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, width * 3, 1);
  while (cinfo.next_scanline < height) {
    const std::uint8_t* src = pixels + cinfo.next_scanline * stride;
    for (JDIMENSION x = 0; x < width; ++x) {
      row[0][x * 3 + 0] = src[x * 3 + 2];
      row[0][x * 3 + 1] = src[x * 3 + 1];
      row[0][x * 3 + 2] = src[x * 3 + 0];
    }
    jpeg_write_scanlines(&cinfo, row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

}  // namespace

std::wstring TempPhotoBase() { return qx::win::ModuleDirW() + L"\\" + L"_Temp"; }

bool OpenReader(int port, int rate, std::string& samId) {
  SDT_ClosePort(port);
  if (rate != 0) {
    unsigned int current = 0;
    if (SDT_GetCOMBaud(port, &current) != kStatusOk) return false;
    if (SDT_SetCOMBaud(port, current, static_cast<unsigned int>(rate)) != kStatusOk) return false;
  }
  if (SDT_OpenPort(port) != kStatusOk) return false;
  for (int attempt = 0; attempt < 3; ++attempt) {
    // Zeroed, so a library that answers 0x90 and writes nothing gives an empty number.
    char buf[kSamIdBufferBytes] = {};
    if (SDT_GetSAMIDToStr(port, buf, 0) == kStatusOk) {
      samId.assign(buf, ::strnlen(buf, sizeof buf));
      return true;
    }
  }
  return false;
}

void CloseReader(int port) { SDT_ClosePort(port); }

bool ReadCardData(int port, std::u16string& text) {
  const std::wstring base = TempPhotoBase();

  unsigned char findBuf[kFindBufferBytes] = {};
  if (SDT_StartFindMorvid(port, findBuf, 0) != kStatusCardFound) return false;

  unsigned char selectBuf[kSelectBufferBytes] = {};
  int status = SDT_SelectMorvid(port, selectBuf, 0);
  if (status != kStatusOk) {
    ShowReaderError(status);
    return false;
  }

  // Zeroed: the library writes fewer bytes than the buffer holds, and the text is read up
  // to its first NUL, which must not run on into stale stack bytes.
  unsigned char textBuf[kTextBufferBytes] = {};
  unsigned char photoBuf[kPhotoBufferBytes] = {};
  unsigned int textLength = 0;
  unsigned int photoLength = 0;
  status = SDT_ReadBaseMsg(port, textBuf, &textLength, photoBuf, &photoLength, 0);
  if (status != kStatusOk) {
    ShowReaderError(status);
    return false;
  }

  // A length past the buffer would write bytes the library never gave.
  const DWORD photoBytes = std::min<unsigned int>(photoLength, kPhotoBufferBytes);
  const std::wstring wltPath = base + L".wlt";
  WriteWholeFile(wltPath, photoBuf, photoBytes);

  // GetBmp reads an ANSI path from a buffer it may rewrite; its answer does not fail the read.
  const std::string ansiPath = qx::win::WideToMulti(wltPath, CP_ACP);
  std::vector<char> pathBuf(std::max<std::size_t>(ansiPath.size() + 1, MAX_PATH), '\0');
  std::copy(ansiPath.begin(), ansiPath.end(), pathBuf.begin());
  GetBmp(pathBuf.data(), kGetBmpMode);

  std::u16string block = qx::card::TextFromUcs2Le(textBuf, sizeof textBuf);
  block.resize(std::min({block.find(u'\0'), block.size(), kCardTextChars}));
  text = std::move(block);
  return true;
}

std::wstring ReaderErrorMessage(int status) {
  const wchar_t* what = kUnknownStatus;
  for (const StatusText& s : kStatusTexts)
    if (s.status == status) what = s.text;
  return L"错误代码" + std::to_wstring(status) + what;
}

void ShowReaderError(int status) {
  const std::wstring message = ReaderErrorMessage(status);
  // Owned by the program's window, so the box is modal to it even while the program is
  // not in the foreground (automatic verification).
  HWND owner = ::GetActiveWindow();
  if (!owner && qx::win::App::Current()) owner = qx::win::App::Current()->MainHwnd();
  ::MessageBoxW(owner, message.c_str(), kAppTitle, MB_OK);
}

void BmpFileToJpegFile(const std::wstring& bmpPath, const std::wstring& jpegPath, std::uint8_t quality) {
  qx::win::UniqueBitmap bitmap(static_cast<HBITMAP>(
      ::LoadImageW(nullptr, bmpPath.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
  if (!bitmap) {
    const DWORD err = ::GetLastError();
    throw ReaderError("cannot load bitmap " + qx::win::WideToUtf8(bmpPath), err);
  }
  BITMAP info{};
  if (!::GetObjectW(bitmap.get(), sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight == 0)
    throw ReaderError("not a usable bitmap " + qx::win::WideToUtf8(bmpPath));
  const LONG width = info.bmWidth;
  const LONG height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;

  // Whatever the file's depth, take it as 24-bit rows, top row first.
  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  std::vector<std::uint8_t> pixels(stride * static_cast<std::size_t>(height));
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  qx::win::UniqueMemDc dc(::CreateCompatibleDC(nullptr));
  if (!dc || ::GetDIBits(dc.get(), bitmap.get(), 0, static_cast<UINT>(height), pixels.data(), &bi,
                         DIB_RGB_COLORS) != height)
    throw ReaderError("cannot read the pixels of " + qx::win::WideToUtf8(bmpPath));

  std::vector<JOCTET> jpeg;
  auto dest = std::make_unique<VectorDestination>();
  dest->out = &jpeg;
  char message[JMSG_LENGTH_MAX] = {};
  if (!CompressBgr(pixels.data(), static_cast<JDIMENSION>(width), static_cast<JDIMENSION>(height), stride,
                   quality, dest.get(), message))
    throw ReaderError(std::string("JPEG compression failed: ") + message);

  WriteWholeFile(jpegPath, jpeg.data(), static_cast<DWORD>(jpeg.size()));
}

}  // namespace qx::kestrin
