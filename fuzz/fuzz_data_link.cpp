// Any bytes of a data link file, as read from disk, either name a known provider and an
// absolute database file or are refused with a DataError; an initialisation string written
// into a link file reads back as the same link.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "data/DataError.h"
#include "data/DataLink.h"

namespace {

const std::filesystem::path kFolder = "/desk/folder";

bool ValidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    if (n == 2 && c < 0xC2) return false;  // overlong
    if (n == 3) {
      const unsigned char d = static_cast<unsigned char>(s[i + 1]);
      if ((c == 0xE0 && d < 0xA0) || (c == 0xED && d >= 0xA0)) return false;  // overlong, surrogate
    }
    if (n == 4) {
      const unsigned char d = static_cast<unsigned char>(s[i + 1]);
      if ((c == 0xF0 && d < 0x90) || c > 0xF4 || (c == 0xF4 && d >= 0x90)) return false;
    }
    i += n;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qx::data;
  const std::vector<std::uint8_t> bytes(data, data + size);
  try {
    const DataLink link = ParseDataLink(bytes, kFolder);
    if (!IsKnownProvider(link.provider) || !link.database.is_absolute()) __builtin_trap();
  } catch (const DataError&) {
  }

  // The same bytes as an initialisation string of one line, written and read back.
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!ValidUtf8(text) || text.find_first_of("\r\n") != std::string_view::npos) return 0;
  bool direct = false;
  DataLink expected;
  try {
    expected = LinkFromInitPairs(ParseInitString(text), kFolder, &PathFromUtf8);
    direct = true;
  } catch (const DataError&) {
  }
  bool viaFile = false;
  DataLink read;
  try {
    read = ParseDataLink(DataLinkFileBytes(text), kFolder);
    viaFile = true;
  } catch (const DataError&) {
  }
  // A blank string leaves a link file without an initialisation string: refused either way.
  if (direct != viaFile) __builtin_trap();
  if (direct && (read.provider != expected.provider || read.database != expected.database)) __builtin_trap();
  return 0;
}
