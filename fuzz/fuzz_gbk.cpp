// Any text copied into a field of any width stays inside it and never leaves half a
// double-byte character; the searches stay inside their text.
#include <cstdint>
#include <string_view>
#include <vector>

#include "card/Gbk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t width = data[0] % 48;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  std::vector<uint8_t> field(width + 2, 0xEE);  // guard bytes on both sides
  qx::card::CopyField(field.data() + 1, width, text);
  if (field.front() != 0xEE || field.back() != 0xEE) __builtin_trap();
  const std::string copied = qx::card::FieldText(field.data() + 1, width);
  if (text.substr(0, copied.size()) != copied) __builtin_trap();

  const size_t cut = text.size() / 2;
  (void)qx::card::GbkFind(text.substr(0, cut), text.substr(cut, 4));
  (void)qx::card::GbkLastBackslash(text);
  (void)qx::card::LeadingDecimal(std::string(text));
  return 0;
}
