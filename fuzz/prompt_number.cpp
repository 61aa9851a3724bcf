// The prompt number rule: the leading number of any text, rounded halves to even, as
// a 16-bit value and as a 32-bit count.
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
  const std::int32_t n32 = prompt_count32(text);
  const std::int16_t n16 = prompt_number16(text);
  const double whole = std::nearbyint(v);
  // The 16-bit value is the whole number where it fits, and 0 where it does not.
  require(n16 == (whole >= -32768.0 && whole <= 32767.0 ? whole : 0.0), "16-bit value");
  // The count is the whole number where it fits 32 bits and the nearest end beyond; a
  // number too long for a double (which reads as 0) counts as an end too.
  constexpr double kLow = -2147483648.0;
  constexpr double kHigh = 2147483647.0;
  if (whole != 0.0) {
    require(n32 == (whole < kLow ? kLow : whole > kHigh ? kHigh : whole), "32-bit count");
  } else {
    require(n32 == 0 || n32 == kLow || n32 == kHigh, "a count from nothing");
  }
  // Whatever follows the number does not change it once a character ends it.
  require(prompt_count32(text + "x9") == n32, "trailing text changed the number");
  return 0;
}
