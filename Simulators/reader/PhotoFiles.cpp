// Packed photo files to bitmap files, for GetBmp, GetPhoto and Read_Content.
#include "PhotoFiles.h"

#include "SimHost.h"
#include "WltPhoto.h"

#include <cctype>
#include <cstring>

namespace qx::readersim {

std::wstring BmpPathFor(const std::wstring& wltPath) {
  const std::size_t slash = wltPath.find_last_of(L"\\/");
  const std::size_t dot = wltPath.find_last_of(L'.');
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return wltPath + L".bmp";
  return wltPath.substr(0, dot) + L".bmp";
}

DecodeResult WriteBitmapOf(const std::vector<std::uint8_t>& wlt, const std::wstring& bmpPath) {
  const std::optional<Image> image = DecodeWltPhoto(wlt.data(), wlt.size());
  if (!image) return DecodeResult::BadFormat;
  const std::vector<std::uint8_t> bmp = EncodeBmp24(*image);
  return host::WriteFileBytes(bmpPath, bmp.data(), bmp.size()) ? DecodeResult::Ok : DecodeResult::CannotWrite;
}

DecodeResult DecodeBeside(const std::wstring& wltPath) {
  // One byte more than a packed photo can hold, so that a larger file is seen as such.
  const auto bytes = host::ReadFileBytes(wltPath, kWltMaxBytes + 1);
  if (!bytes) return DecodeResult::CannotOpen;
  return WriteBitmapOf(*bytes, BmpPathFor(wltPath));
}

bool HasWltSuffix(const char* path, std::size_t length) {
  // '.' is never a byte of a GBK double-byte character, and no GBK lead byte is below
  // 0x81, so the bytes after it are single characters: a byte compare is safe.
  if (path == nullptr || length < 4) return false;
  const char* s = path + length - 4;
  return s[0] == '.' && std::tolower(static_cast<unsigned char>(s[1])) == 'w' &&
         std::tolower(static_cast<unsigned char>(s[2])) == 'l' &&
         std::tolower(static_cast<unsigned char>(s[3])) == 't';
}

void RewriteWltSuffix(char* path, std::size_t length) {
  if (HasWltSuffix(path, length)) std::memcpy(path + length - 3, "bmp", 3);
}

}  // namespace qx::readersim
