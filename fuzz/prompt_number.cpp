// The prompt number rule: the leading number of any text, rounded halves to even, as
// a 16-bit and a 32-bit value.
//
// Input: the text.

#include <cmath>

#include "fuzz/fuzz_host.h"
#include "platform/number_rule.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavric;
  using fuzz::require;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const double v = leading_number(text);
  require(std::isfinite(v), "leading number not finite");
  const std::int32_t n32 = prompt_number32(text);
  const std::int16_t n16 = prompt_number16(text);
  // Both are the same whole number where it fits 16 bits, and 0 where it does not.
  const double whole = std::nearbyint(v);
  if (whole >= -32768.0 && whole <= 32767.0) {
    require(n16 == n32 && n32 == whole, "16 and 32 bits disagree");
  } else {
    require(n16 == 0, "a 16-bit value out of range");
  }
  // Whatever follows the number does not change it once a character ends it.
  require(prompt_number32(text + "x9") == n32, "trailing text changed the number");
  return 0;
}
