// 24-bit pictures and their BMP file form.
#include "Bitmap.h"

#include <cstdlib>

namespace qx::readersim {

namespace {

constexpr std::size_t kFileHeader = 14;
constexpr std::size_t kInfoHeader = 40;

void Put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  out[at] = static_cast<std::uint8_t>(v);
  out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  Put16(out, at, v & 0xFFFF);
  Put16(out, at + 2, v >> 16);
}

std::uint32_t Get32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::size_t Stride(int width) { return (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3}; }

}  // namespace

std::vector<std::uint8_t> EncodeBmp24(const Image& image) {
  const std::size_t stride = Stride(image.width);
  const std::size_t imageBytes = stride * image.height;
  const std::size_t offset = kFileHeader + kInfoHeader;
  std::vector<std::uint8_t> out(offset + imageBytes, 0);
  out[0] = 'B';
  out[1] = 'M';
  Put32(out, 2, static_cast<std::uint32_t>(out.size()));
  Put32(out, 10, static_cast<std::uint32_t>(offset));
  Put32(out, 14, kInfoHeader);
  Put32(out, 18, static_cast<std::uint32_t>(image.width));
  Put32(out, 22, static_cast<std::uint32_t>(image.height));  // positive: bottom-up
  Put16(out, 26, 1);
  Put16(out, 28, 24);
  Put32(out, 30, 0);  // BI_RGB
  Put32(out, 34, static_cast<std::uint32_t>(imageBytes));
  Put32(out, 38, 3780);  // 96 dpi
  Put32(out, 42, 3780);
  for (int y = 0; y < image.height; ++y) {
    std::uint8_t* row = out.data() + offset + stride * (image.height - 1 - y);
    for (int x = 0; x < image.width; ++x) {
      const Bgr& p = image.At(x, y);
      row[3 * x] = p.b;
      row[3 * x + 1] = p.g;
      row[3 * x + 2] = p.r;
    }
  }
  return out;
}

std::optional<Image> ParseBmp24(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size < kFileHeader + kInfoHeader) return std::nullopt;
  if (data[0] != 'B' || data[1] != 'M') return std::nullopt;
  const std::uint32_t offset = Get32(data + 10);
  const std::uint32_t infoSize = Get32(data + 14);
  const auto width = static_cast<std::int32_t>(Get32(data + 18));
  const auto height = static_cast<std::int32_t>(Get32(data + 22));
  if (infoSize < kInfoHeader || Get16(data + 26) != 1 || Get16(data + 28) != 24 ||
      Get32(data + 30) != 0) {
    return std::nullopt;
  }
  if (width <= 0 || width > 10000 || height == 0 || height < -10000 || height > 10000) {
    return std::nullopt;
  }
  const int rows = std::abs(height);
  const std::size_t stride = Stride(width);
  if (offset > size || size - offset < stride * rows) return std::nullopt;
  Image image(width, rows, Bgr{});
  for (int y = 0; y < rows; ++y) {
    const int fileRow = height > 0 ? rows - 1 - y : y;
    const std::uint8_t* row = data + offset + stride * fileRow;
    for (int x = 0; x < width; ++x) image.At(x, y) = Bgr{row[3 * x], row[3 * x + 1], row[3 * x + 2]};
  }
  return image;
}

}  // namespace qx::readersim
