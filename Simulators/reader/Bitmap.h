// 24-bit pictures and their BMP file form (bottom-up rows, each padded to four bytes).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace qx::readersim {

struct Bgr {
  std::uint8_t b = 0;
  std::uint8_t g = 0;
  std::uint8_t r = 0;
  bool operator==(const Bgr& o) const { return b == o.b && g == o.g && r == o.r; }
  bool operator!=(const Bgr& o) const { return !(*this == o); }
};

// Rows from the top.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<Bgr> pixels;

  Image() = default;
  Image(int w, int h, Bgr fill) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, fill) {}
  Bgr& At(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
  const Bgr& At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

std::vector<std::uint8_t> EncodeBmp24(const Image& image);
// Reads back what EncodeBmp24 writes (and any plain 24-bit BMP, bottom-up or top-down).
std::optional<Image> ParseBmp24(const std::uint8_t* data, std::size_t size);

}  // namespace qx::readersim
