// Any bytes, read as a card text block or as the sample program's files, are cut and shown
// without reading past their end.
#include <cstdint>
#include <vector>

#include "CardDisplay.h"
#include "card/CardTextBlock.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const qx::card::CardTextFields f = qx::card::CutCardText(data, size);
  (void)qx::card::IsLongTerm(f.validity);
  (void)qx::card::TrimWhite(f.name);

  const std::vector<uint8_t> bytes(data, data + size);
  const std::u16string text = qx::morvid::TextFromBytePairs(bytes);
  (void)qx::morvid::CardLabelsFrom(text);
  if (qx::morvid::ChipNumberText(bytes).size() != 28 * 3) __builtin_trap();
  return 0;
}
