// Picture: BMP bytes in and out of a DIB section.
#include "Picture.h"

#include <cstdlib>
#include <cstring>

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

}  // namespace

Picture Picture::FromBmp(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return {};
  if (size < kFileHeader + kInfoHeader || data[0] != 'B' || data[1] != 'M')
    throw PictureError("bitmap image is not valid");
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
    throw PictureError("bitmap image is not valid");
  const std::int64_t stride = (static_cast<std::int64_t>(width) * bpp + 31) / 32 * 4;
  const std::int64_t rows = height < 0 ? -static_cast<std::int64_t>(height) : height;
  const std::int64_t image = stride * rows;
  std::size_t colours = bpp <= 8 ? (clrUsed ? clrUsed : 1u << bpp) : 0;
  // Bit masks stand right after the first 40 header bytes: behind a plain info header, inside a larger one.
  const std::size_t masksAt = kFileHeader + kInfoHeader;
  std::size_t tableAt = kFileHeader + headerSize + (fields && headerSize == kInfoHeader ? 12 : 0);
  if (image > kMaxImage || (bpp <= 8 && colours > (1u << bpp)) || (fields && masksAt + 12 > size) || tableAt + colours * 4 > size ||
      offBits < kFileHeader + kInfoHeader || offBits > size || size - offBits < static_cast<std::size_t>(image))
    throw PictureError("bitmap image is not valid");

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
  HBITMAP bmp = ::CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(info.data()), DIB_RGB_COLORS,
                                   &bits, nullptr, 0);
  if (!bmp || !bits) throw PictureError("bitmap cannot be created");
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
  if (!f) throw PictureError("cannot open file");
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(f.get(), &size) || size.QuadPart > kMaxImage * 2)
    throw PictureError("cannot read file");
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.QuadPart));
  DWORD got = 0;
  if (!bytes.empty() && (!::ReadFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
                         got != bytes.size()))
    throw PictureError("cannot read file");
  return FromBmp(bytes);
}

Picture Picture::Create(int width, int height) {
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide)
    throw PictureError("invalid bitmap size");
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
  std::vector<std::uint8_t> bytes = ToBmp();
  win::UniqueFile f(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
  DWORD put = 0;
  if (!f || (!bytes.empty() && (!::WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put,
                                             nullptr) || put != bytes.size())))
    throw PictureError("cannot write file");
}

COLORREF Picture::Pixel(int x, int y) const {
  if (Empty() || x < 0 || y < 0 || x >= Width() || y >= Height()) return CLR_INVALID;
  win::UniqueMemDc dc(::CreateCompatibleDC(nullptr));
  win::SelectGuard keep(dc.get(), bmp_.get());
  return ::GetPixel(dc.get(), x, y);
}

}  // namespace qx::kestrin
