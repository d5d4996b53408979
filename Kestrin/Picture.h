// The desk's pictures: a bitmap (a DIB section) that loads from BMP file bytes and writes itself
// back as a complete BMP file, as the log store keeps card photos; JPEG in and out (libjpeg),
// and whole files written at once.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "win/Handle.h"
#include "win/RunTimeError.h"

namespace qx::kestrin {

// A picture that cannot be made, read or written; its text says which and why.
class PictureError : public win::RunTimeError {
 public:
  using win::RunTimeError::RunTimeError;
};

class Picture {
 public:
  Picture() = default;  // empty
  Picture(Picture&&) noexcept = default;
  Picture& operator=(Picture&&) noexcept = default;
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  // Uncompressed BMP files of 1, 4, 8, 16, 24 or 32 bits per pixel (bit fields for 16 and 32),
  // bottom-up or top-down. No bytes give an empty picture; anything else is a PictureError.
  static Picture FromBmp(const std::uint8_t* data, std::size_t size);
  static Picture FromBmp(const std::vector<std::uint8_t>& bytes) { return FromBmp(bytes.data(), bytes.size()); }
  static Picture FromBmpFile(const std::wstring& path);
  // A white 24-bit bitmap.
  static Picture Create(int width, int height);

  bool Empty() const { return !bmp_; }
  int Width() const;
  int Height() const;  // always positive
  int BitCount() const;
  HBITMAP Handle() const { return bmp_.get(); }

  // File header, info header (40 bytes), bit masks and colour table as needed, pixels;
  // no bytes for an empty picture.
  std::vector<std::uint8_t> ToBmp() const;
  void SaveToFile(const std::wstring& path) const;
  Picture Clone() const { return FromBmp(ToBmp()); }
  // CLR_INVALID outside the bitmap or when empty.
  COLORREF Pixel(int x, int y) const;

 private:
  win::UniqueBitmap bmp_;
  std::vector<std::uint8_t> info_;  // BITMAPINFOHEADER, masks, colour table
  void* bits_ = nullptr;
  std::size_t imageSize_ = 0;
};

// Replaces the file with the bytes: ERROR_SUCCESS, or the system's error code of the step that
// failed (a partial file may then be left).
DWORD WriteWholeFile(const std::wstring& path, const void* data, std::size_t size);

// Loads a bitmap file and writes it as a baseline colour JPEG of the given quality (1-100).
// PictureError when the bitmap cannot be loaded or the JPEG cannot be made or written.
void BmpFileToJpegFile(const std::wstring& bmpPath, const std::wstring& jpegPath, std::uint8_t quality);

// A JPEG file's picture as a 24-bit top-down bitmap; PictureError for bytes that are no JPEG
// it can decode.
win::UniqueBitmap DecodeJpeg(const std::vector<std::uint8_t>& bytes, SIZE* size);

}  // namespace qx::kestrin
