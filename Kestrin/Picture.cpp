// Picture: BMP bytes in and out of a DIB section; JPEG through libjpeg; whole-file writes.
#include "Picture.h"

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "win/Text.h"

extern "C" {
#include <jpeglib.h>
#include <jerror.h>
}

namespace qx::kestrin {
namespace {

constexpr std::size_t kFileHeader = 14;
constexpr std::size_t kInfoHeader = 40;
// Far beyond any card photo; keeps the size arithmetic away from overflow.
constexpr std::int64_t kMaxSide = 16384;
constexpr std::int64_t kMaxImage = 64 * 1024 * 1024;

std::uint32_t U32(const std::uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24; }
std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

const BITMAPINFOHEADER& Header(const std::vector<std::uint8_t>& info) {
  return *reinterpret_cast<const BITMAPINFOHEADER*>(info.data());
}

// Bytes that are no bitmap the desk reads; a file's load names the file instead.
class NotABitmap : public PictureError {
 public:
  NotABitmap() : PictureError(L"位图图像无效") {}
};

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

std::wstring NotABitmapFile(const std::wstring& path) { return L"文件 " + Quoted(path) + L" 不是有效的位图"; }

std::wstring SizeText(std::int64_t width, std::int64_t height) {
  return L"（" + std::to_wstring(width) + L" x " + std::to_wstring(height) + L"）";
}

}  // namespace

Picture Picture::FromBmp(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return {};
  if (size < kFileHeader + kInfoHeader || data[0] != 'B' || data[1] != 'M') throw NotABitmap();
  const std::uint8_t* h = data + kFileHeader;
  const std::uint32_t offBits = U32(data + 10);
  const std::uint32_t headerSize = U32(h);
  const std::int32_t width = static_cast<std::int32_t>(U32(h + 4));
  const std::int32_t height = static_cast<std::int32_t>(U32(h + 8));
  const std::uint16_t planes = U16(h + 12), bpp = U16(h + 14);
  const std::uint32_t compression = U32(h + 16), clrUsed = U32(h + 32);
  const bool fields = compression == BI_BITFIELDS;
  if (headerSize < kInfoHeader || headerSize > size - kFileHeader || planes != 1 || width <= 0 ||
      height == 0 || width > kMaxSide || height > kMaxSide || height < -kMaxSide ||
      !(bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32) ||
      !(compression == BI_RGB || (fields && (bpp == 16 || bpp == 32))))
    throw NotABitmap();
  const std::int64_t stride = (static_cast<std::int64_t>(width) * bpp + 31) / 32 * 4;
  const std::int64_t rows = height < 0 ? -static_cast<std::int64_t>(height) : height;
  const std::int64_t image = stride * rows;
  std::size_t colours = bpp <= 8 ? (clrUsed ? clrUsed : 1u << bpp) : 0;
  // Bit masks stand right after the first 40 header bytes: behind a plain info header, inside a larger one.
  const std::size_t masksAt = kFileHeader + kInfoHeader;
  std::size_t tableAt = kFileHeader + headerSize + (fields && headerSize == kInfoHeader ? 12 : 0);
  if (image > kMaxImage || (bpp <= 8 && colours > (1u << bpp)) || (fields && masksAt + 12 > size) || tableAt + colours * 4 > size ||
      offBits < kFileHeader + kInfoHeader || offBits > size || size - offBits < static_cast<std::size_t>(image))
    throw NotABitmap();

  std::vector<std::uint8_t> info(kInfoHeader + (fields ? 12 : 0) + colours * 4);
  std::memcpy(info.data(), h, kInfoHeader);
  Put32(info.data(), kInfoHeader);
  Put32(info.data() + 20, static_cast<std::uint32_t>(image));
  Put32(info.data() + 32, static_cast<std::uint32_t>(colours));
  Put32(info.data() + 36, 0);
  if (fields) std::memcpy(info.data() + kInfoHeader, data + masksAt, 12);
  if (colours) std::memcpy(info.data() + kInfoHeader + (fields ? 12 : 0), data + tableAt, colours * 4);

  Picture p;
  void* bits = nullptr;
  // Cleared first: a failure that sets no code must not be blamed on an earlier call's.
  ::SetLastError(ERROR_SUCCESS);
  HBITMAP bmp = ::CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(info.data()), DIB_RGB_COLORS,
                                   &bits, nullptr, 0);
  if (!bmp || !bits)
    throw PictureError(win::WithSystemReason(L"无法创建位图" + SizeText(width, rows), ::GetLastError()));
  p.bmp_.reset(bmp);
  std::memcpy(bits, data + offBits, static_cast<std::size_t>(image));
  p.bits_ = bits;
  p.imageSize_ = static_cast<std::size_t>(image);
  p.info_ = std::move(info);
  return p;
}

Picture Picture::FromBmpFile(const std::wstring& path) {
  win::UniqueFile f(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) throw PictureError(win::FileErrorText(L"无法打开文件", path, ::GetLastError()));
  const auto readError = [&path] {
    const DWORD err = ::GetLastError();
    return PictureError(win::FileErrorText(L"无法读取文件", path, err ? err : ERROR_HANDLE_EOF));
  };
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(f.get(), &size)) throw readError();
  if (size.QuadPart > kMaxImage * 2) throw PictureError(L"文件 " + Quoted(path) + L" 过大，不是位图");
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.QuadPart));
  DWORD got = 0;
  ::SetLastError(ERROR_SUCCESS);
  if (!bytes.empty() && (!::ReadFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
                         got != bytes.size()))
    throw readError();
  try {
    return FromBmp(bytes);
  } catch (const NotABitmap&) {
    throw PictureError(NotABitmapFile(path));
  }
}

Picture Picture::Create(int width, int height) {
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide)
    throw PictureError(L"位图大小无效" + SizeText(width, height));
  const std::int64_t stride = (static_cast<std::int64_t>(width) * 24 + 31) / 32 * 4;
  std::vector<std::uint8_t> bmp(kFileHeader + kInfoHeader + static_cast<std::size_t>(stride * height), 0xFF);
  std::memset(bmp.data(), 0, kFileHeader + kInfoHeader);
  bmp[0] = 'B';
  bmp[1] = 'M';
  Put32(&bmp[2], static_cast<std::uint32_t>(bmp.size()));
  Put32(&bmp[10], kFileHeader + kInfoHeader);
  std::uint8_t* h = &bmp[kFileHeader];
  Put32(h, kInfoHeader);
  Put32(h + 4, static_cast<std::uint32_t>(width));
  Put32(h + 8, static_cast<std::uint32_t>(height));
  h[12] = 1;
  h[14] = 24;
  return FromBmp(bmp);
}

int Picture::Width() const { return Empty() ? 0 : Header(info_).biWidth; }
int Picture::Height() const { return Empty() ? 0 : std::abs(Header(info_).biHeight); }
int Picture::BitCount() const { return Empty() ? 0 : Header(info_).biBitCount; }

std::vector<std::uint8_t> Picture::ToBmp() const {
  if (Empty()) return {};
  ::GdiFlush();  // drawing through GDI may still be queued for the bits
  const std::size_t off = kFileHeader + info_.size();
  std::vector<std::uint8_t> out(off + imageSize_, 0);
  out[0] = 'B';
  out[1] = 'M';
  Put32(&out[2], static_cast<std::uint32_t>(out.size()));
  Put32(&out[10], static_cast<std::uint32_t>(off));
  std::memcpy(&out[kFileHeader], info_.data(), info_.size());
  std::memcpy(&out[off], bits_, imageSize_);
  return out;
}

void Picture::SaveToFile(const std::wstring& path) const {
  const std::vector<std::uint8_t> bytes = ToBmp();
  if (const DWORD err = WriteWholeFile(path, bytes.data(), bytes.size()))
    throw PictureError(win::FileErrorText(L"无法写入文件", path, err));
}

COLORREF Picture::Pixel(int x, int y) const {
  if (Empty() || x < 0 || y < 0 || x >= Width() || y >= Height()) return CLR_INVALID;
  win::UniqueMemDc dc(::CreateCompatibleDC(nullptr));
  win::SelectGuard keep(dc.get(), bmp_.get());
  return ::GetPixel(dc.get(), x, y);
}

DWORD WriteWholeFile(const std::wstring& path, const void* data, std::size_t size) {
  win::UniqueFile f(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) return ::GetLastError();
  DWORD written = 0;
  if (size && (size > MAXDWORD || !::WriteFile(f.get(), data, static_cast<DWORD>(size), &written, nullptr) ||
               written != size)) {
    const DWORD err = ::GetLastError();
    return err != ERROR_SUCCESS ? err : ERROR_WRITE_FAULT;
  }
  return ERROR_SUCCESS;
}

// ---- JPEG ---------------------------------------------------------------------------------

namespace {

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

// The manager a compressor or decompressor takes as its err.
jpeg_error_mgr* UseJpegErrors(JpegErrors& e) {
  jpeg_error_mgr* mgr = jpeg_std_error(&e.pub);
  e.pub.error_exit = OnJpegError;
  e.pub.output_message = OnJpegMessage;
  e.message[0] = '\0';
  return mgr;
}

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
  cinfo.err = UseJpegErrors(errors);
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

// Fills bits (rows of stride bytes, BGR) from the JPEG; false with the library's message.
bool DecodeInto(const std::vector<std::uint8_t>& bytes, jpeg_decompress_struct& d, JpegErrors& errors,
                void* (*allocate)(void*, int, int, int*), void* ctx) {
  if (setjmp(errors.jump)) return false;
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

}  // namespace

void BmpFileToJpegFile(const std::wstring& bmpPath, const std::wstring& jpegPath, std::uint8_t quality) {
  ::SetLastError(ERROR_SUCCESS);
  win::UniqueBitmap bitmap(static_cast<HBITMAP>(
      ::LoadImageW(nullptr, bmpPath.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
  if (!bitmap) {
    // A file that is there but holds no bitmap sets no error code (cleared above).
    const DWORD err = ::GetLastError();
    throw PictureError(err ? win::FileErrorText(L"无法读取位图", bmpPath, err) : NotABitmapFile(bmpPath));
  }
  BITMAP info{};
  if (!::GetObjectW(bitmap.get(), sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight == 0)
    throw PictureError(L"位图 " + Quoted(bmpPath) + L" 无法使用");
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
  win::UniqueMemDc dc(::CreateCompatibleDC(nullptr));
  if (!dc || ::GetDIBits(dc.get(), bitmap.get(), 0, static_cast<UINT>(height), pixels.data(), &bi,
                         DIB_RGB_COLORS) != height)
    throw PictureError(L"无法读取位图 " + Quoted(bmpPath) + L" 的像素");

  std::vector<JOCTET> jpeg;
  auto dest = std::make_unique<VectorDestination>();
  dest->out = &jpeg;
  char message[JMSG_LENGTH_MAX] = {};
  if (!CompressBgr(pixels.data(), static_cast<JDIMENSION>(width), static_cast<JDIMENSION>(height), stride,
                   quality, dest.get(), message))
    throw PictureError(L"无法压缩 JPEG 图像 " + Quoted(jpegPath) + L"：" + win::Utf8ToWide(message));

  if (const DWORD err = WriteWholeFile(jpegPath, jpeg.data(), jpeg.size()))
    throw PictureError(win::FileErrorText(L"无法写入文件", jpegPath, err));
}

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
  d.err = UseJpegErrors(errors);
  jpeg_create_decompress(&d);
  const bool ok = DecodeInto(bytes, d, errors, allocate, &target);
  jpeg_destroy_decompress(&d);
  if (!ok) throw PictureError(L"JPEG 图像无效：" + (errors.message[0] ? win::Utf8ToWide(errors.message) : L"没有图像"));
  ::GdiFlush();
  if (size) *size = target.size;
  return std::move(target.bmp);
}

}  // namespace qx::kestrin
