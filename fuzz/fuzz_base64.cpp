// Any text decodes without touching bytes outside the caller's buffer, whatever its
// capacity; any bytes encode and decode back to themselves.
#include <cstdint>
#include <cstring>
#include <vector>

#include "Base64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int32_t capacity = data[0];  // a small buffer, to reach the overflow rule often
  const char* text = reinterpret_cast<const char*>(data + 1);
  const int32_t length = static_cast<int32_t>(size - 1);

  std::vector<uint8_t> out(static_cast<size_t>(capacity));
  int32_t cap = capacity;
  const bool ok = base64Decode(text, length, out.data(), &cap);
  if (ok && cap > capacity) __builtin_trap();

  std::vector<char> encoded(static_cast<size_t>(base64RequiredLength(length)));
  int32_t encLen = static_cast<int32_t>(encoded.size());
  if (!base64Encode(data + 1, length, encoded.data(), &encLen)) __builtin_trap();
  std::vector<uint8_t> back(size);
  int32_t backLen = static_cast<int32_t>(back.size());
  if (!base64Decode(encoded.data(), encLen, back.data(), &backLen)) __builtin_trap();
  if (backLen != length || std::memcmp(back.data(), data + 1, size - 1) != 0) __builtin_trap();
  return 0;
}
