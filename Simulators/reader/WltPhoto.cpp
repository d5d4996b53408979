// Packed photo of the simulated cards: encoding, checking and drawing.
#include "WltPhoto.h"

#include <cstring>

namespace qx::readersim {

namespace {

constexpr std::uint8_t kMagic[4] = {'Q', 'X', 'W', 'L'};
constexpr std::uint8_t kVersion = 1;
constexpr std::size_t kParamEnd = 33;
constexpr std::size_t kMinBytes = kParamEnd + 4;

std::uint32_t Fnv1a(const std::uint8_t* p, std::size_t n) {
  std::uint32_t h = 2166136261u;
  for (std::size_t i = 0; i < n; ++i) {
    h ^= p[i];
    h *= 16777619u;
  }
  return h;
}

std::uint32_t SeedOf(std::u16string_view id, std::u16string_view name) {
  std::uint32_t h = 2166136261u;
  auto mix = [&h](std::u16string_view s) {
    for (char16_t c : s) {
      for (std::uint8_t b : {static_cast<std::uint8_t>(c & 0xFF), static_cast<std::uint8_t>(c >> 8)}) {
        h ^= b;
        h *= 16777619u;
      }
    }
    h ^= 0xFF;
    h *= 16777619u;
  };
  mix(id);
  mix(name);
  return h;
}

// Small deterministic generator for the parameters and the filler.
struct Xorshift {
  std::uint32_t s;
  std::uint32_t Next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  }
  std::uint8_t Byte() { return static_cast<std::uint8_t>(Next() >> 24); }
};

std::uint8_t InRange(Xorshift& g, int lo, int hi) {
  return static_cast<std::uint8_t>(lo + static_cast<int>(g.Next() % static_cast<std::uint32_t>(hi - lo + 1)));
}

Bgr Colour(Xorshift& g, int lo, int hi) {
  Bgr c;
  c.b = InRange(g, lo, hi);
  c.g = InRange(g, lo, hi);
  c.r = InRange(g, lo, hi);
  return c;
}

std::size_t LengthFor(std::uint32_t seed) { return 640 + seed % 385; }  // 640 to 1024

bool Valid(const WltFigure& f) {
  // Keeps the whole figure inside the picture and clear of the top rows.
  return f.headRadius >= 12 && f.headRadius <= 26 && f.headX >= f.headRadius + 2 &&
         f.headX + f.headRadius + 2 <= kPhotoWidth && f.headY >= f.headRadius + 8 &&
         f.shoulderTop > f.headY && f.shoulderTop < kPhotoHeight - 20 &&
         f.shoulderHalfWidth >= 20 && f.shoulderHalfWidth <= 50;
}

void PutBgr(std::uint8_t* p, const Bgr& c) {
  p[0] = c.b;
  p[1] = c.g;
  p[2] = c.r;
}

Bgr GetBgr(const std::uint8_t* p) { return Bgr{p[0], p[1], p[2]}; }

}  // namespace

WltFigure FigureFor(std::u16string_view id, std::u16string_view name) {
  Xorshift g{SeedOf(id, name) | 1u};
  WltFigure f;
  f.background = Colour(g, 200, 255);
  f.coat = Colour(g, 20, 140);
  f.skin = Bgr{InRange(g, 120, 170), InRange(g, 160, 200), InRange(g, 200, 250)};
  f.hair = Colour(g, 5, 60);
  f.headX = InRange(g, 42, 60);
  f.headY = InRange(g, 38, 48);
  f.headRadius = InRange(g, 15, 23);
  f.shoulderHalfWidth = InRange(g, 32, 48);
  f.shoulderTop = InRange(g, 78, 88);
  for (std::uint8_t& row : f.badge) row = g.Byte();
  return f;
}

std::vector<std::uint8_t> EncodeWltPhoto(std::u16string_view id, std::u16string_view name) {
  const std::uint32_t seed = SeedOf(id, name);
  const WltFigure f = FigureFor(id, name);
  std::vector<std::uint8_t> out(LengthFor(seed), 0);
  std::memcpy(out.data(), kMagic, 4);
  out[4] = kVersion;
  out[6] = static_cast<std::uint8_t>(out.size() & 0xFF);
  out[7] = static_cast<std::uint8_t>(out.size() >> 8);
  PutBgr(&out[8], f.background);
  PutBgr(&out[11], f.coat);
  PutBgr(&out[14], f.skin);
  PutBgr(&out[17], f.hair);
  out[20] = f.headX;
  out[21] = f.headY;
  out[22] = f.headRadius;
  out[23] = f.shoulderHalfWidth;
  out[24] = f.shoulderTop;
  std::memcpy(&out[25], f.badge, 8);
  Xorshift filler{seed ^ 0x9E3779B9u};
  if (filler.s == 0) filler.s = 1;
  for (std::size_t i = kParamEnd; i + 4 < out.size(); ++i) out[i] = filler.Byte();
  const std::uint32_t sum = Fnv1a(out.data(), out.size() - 4);
  for (int k = 0; k < 4; ++k) out[out.size() - 4 + k] = static_cast<std::uint8_t>(sum >> (8 * k));
  return out;
}

std::vector<std::uint8_t> EncodeBadWltPhoto(std::u16string_view id, std::u16string_view name) {
  std::vector<std::uint8_t> out = EncodeWltPhoto(id, name);
  // A damaged body under an intact header, as a failing chip read would give.
  for (std::size_t i = kParamEnd; i < kParamEnd + 16; ++i) out[i] ^= 0x5A;
  return out;
}

std::optional<WltFigure> ParseWltPhoto(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size < kMinBytes || size > kWltMaxBytes) return std::nullopt;
  if (std::memcmp(data, kMagic, 4) != 0 || data[4] != kVersion) return std::nullopt;
  const std::size_t length = data[6] | (data[7] << 8);
  if (length != size) return std::nullopt;
  std::uint32_t sum = 0;
  for (int k = 0; k < 4; ++k) sum |= static_cast<std::uint32_t>(data[size - 4 + k]) << (8 * k);
  if (sum != Fnv1a(data, size - 4)) return std::nullopt;
  WltFigure f;
  f.background = GetBgr(data + 8);
  f.coat = GetBgr(data + 11);
  f.skin = GetBgr(data + 14);
  f.hair = GetBgr(data + 17);
  f.headX = data[20];
  f.headY = data[21];
  f.headRadius = data[22];
  f.shoulderHalfWidth = data[23];
  f.shoulderTop = data[24];
  std::memcpy(f.badge, data + 25, 8);
  if (!Valid(f)) return std::nullopt;
  return f;
}

Image DrawFigure(const WltFigure& f) {
  Image img(kPhotoWidth, kPhotoHeight, f.background);
  const int cx = kPhotoWidth / 2;
  // Shoulders: the upper half of an ellipse standing on the bottom edge.
  const int a = f.shoulderHalfWidth;
  const int b = kPhotoHeight - f.shoulderTop;
  for (int y = f.shoulderTop; y < kPhotoHeight; ++y) {
    const int dy = kPhotoHeight - y;
    for (int x = 0; x < kPhotoWidth; ++x) {
      const int dx = x - cx;
      if (dx * dx * b * b + dy * dy * a * a <= a * a * b * b) img.At(x, y) = f.coat;
    }
  }
  // Neck.
  for (int y = f.headY; y < f.shoulderTop + 6 && y < kPhotoHeight; ++y) {
    for (int x = f.headX - 6; x <= f.headX + 6; ++x) {
      if (x >= 0 && x < kPhotoWidth) img.At(x, y) = f.skin;
    }
  }
  // Head with hair on its upper third, and two eyes.
  const int r = f.headRadius;
  for (int y = f.headY - r; y <= f.headY + r; ++y) {
    for (int x = f.headX - r; x <= f.headX + r; ++x) {
      const int dx = x - f.headX;
      const int dy = y - f.headY;
      if (dx * dx + dy * dy > r * r || x < 0 || y < 0 || x >= kPhotoWidth || y >= kPhotoHeight) continue;
      img.At(x, y) = (y < f.headY - r / 3) ? f.hair : f.skin;
    }
  }
  for (int ex : {f.headX - r / 3, f.headX + r / 3}) {
    for (int y = f.headY; y < f.headY + 2; ++y) {
      for (int x = ex - 1; x < ex + 1; ++x) img.At(x, y) = f.hair;
    }
  }
  // Badge on the coat: 8 x 8 cells of 3 pixels, one bit each.
  const int bx = cx - 12;
  const int by = kPhotoHeight - 26;
  for (int row = 0; row < 8; ++row) {
    for (int col = 0; col < 8; ++col) {
      const bool on = (f.badge[row] >> (7 - col)) & 1;
      for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x) img.At(bx + 3 * col + x, by + 3 * row + y) = on ? f.hair : f.skin;
      }
    }
  }
  return img;
}

std::optional<Image> DecodeWltPhoto(const std::uint8_t* data, std::size_t size) {
  const std::optional<WltFigure> f = ParseWltPhoto(data, size);
  if (!f) return std::nullopt;
  return DrawFigure(*f);
}

}  // namespace qx::readersim
