// Packed photo files to bitmap files, for GetBmp, GetPhoto and Read_Content.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qx::readersim {

// How far a caller's path is searched for its NUL.
inline constexpr std::size_t kMaxCallerPath = 1024;

enum class DecodeResult { Ok, CannotOpen, BadFormat, CannotWrite };

// The bitmap's path: the file's extension replaced by ".bmp" (added when it has none).
std::wstring BmpPathFor(const std::wstring& wltPath);
// Decodes the packed photo file into the bitmap beside it; nothing is written on failure.
DecodeResult DecodeBeside(const std::wstring& wltPath);
// Decodes packed photo bytes into the bitmap file.
DecodeResult WriteBitmapOf(const std::vector<std::uint8_t>& wlt, const std::wstring& bmpPath);
bool HasWltSuffix(const char* path, std::size_t length);
// ".wlt" at the end of the caller's path becomes ".bmp", in place (same length).
void RewriteWltSuffix(char* path, std::size_t length);

}  // namespace qx::readersim
