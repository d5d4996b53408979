// Any scenario text parses into a scenario whose cards build their blocks and photos.
#include <cstdint>
#include <string_view>

#include "Scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const qx::readersim::Scenario s =
      qx::readersim::ParseScenario(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const qx::readersim::SimCard& c : s.cards) {
    (void)c.TextBlock();
    if (c.PackedPhoto().size() > 1024) __builtin_trap();
    (void)c.ChipBytes();
  }
  return 0;
}
