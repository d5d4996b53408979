// Packed photo of the simulated cards: a small parameter record that decodes to a 102 x 126 head picture.
#pragma once

#include "Bitmap.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace qx::readersim {

inline constexpr int kPhotoWidth = 102;
inline constexpr int kPhotoHeight = 126;
inline constexpr std::size_t kWltMaxBytes = 1024;

// Layout, all little-endian:
//   0  "QXWL"            4  version (1)        5  0
//   6  total length (16 bits)
//   8  background B,G,R  11 coat B,G,R  14 skin B,G,R  17 hair B,G,R
//   20 head x, 21 head y, 22 head radius, 23 shoulder half width, 24 shoulder top
//   25 badge, 8 rows of 8 bits
//   .. filler
//   last 4: FNV-1a of everything before it
struct WltFigure {
  Bgr background;
  Bgr coat;
  Bgr skin;
  Bgr hair;
  std::uint8_t headX = 0;
  std::uint8_t headY = 0;
  std::uint8_t headRadius = 0;
  std::uint8_t shoulderHalfWidth = 0;
  std::uint8_t shoulderTop = 0;
  std::uint8_t badge[8] = {};
};

inline constexpr std::size_t kWltBackgroundOffset = 8;

// The figure of a card, from its identity number and name (deterministic).
WltFigure FigureFor(std::u16string_view id, std::u16string_view name);

std::vector<std::uint8_t> EncodeWltPhoto(std::u16string_view id, std::u16string_view name);
// The same bytes with a damaged body: the decoder rejects them.
std::vector<std::uint8_t> EncodeBadWltPhoto(std::u16string_view id, std::u16string_view name);

std::optional<WltFigure> ParseWltPhoto(const std::uint8_t* data, std::size_t size);
Image DrawFigure(const WltFigure& figure);
// Packed photo bytes to the picture; nothing for bytes that are not a packed photo.
std::optional<Image> DecodeWltPhoto(const std::uint8_t* data, std::size_t size);

}  // namespace qx::readersim
