#pragma once

#include <cstdint>
#include <string_view>

namespace tavric {

// The numeric value of the leading number of `text` (0 when there is none):
// optional blanks, sign, digits, decimal point, digits and exponent.
double leading_number(std::string_view text);

// The leading number rounded to a whole number with halves to even, as a 16-bit
// signed value; a value outside -32768..32767 counts as 0.
std::int16_t prompt_number16(std::string_view text);

// The same for a 32-bit signed value.
std::int32_t prompt_number32(std::string_view text);

}  // namespace tavric
