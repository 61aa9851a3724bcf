#pragma once

#include <cstdint>
#include <string_view>

namespace tavric {

// The numeric value of the leading number of `text` (0 when there is none):
// optional blanks, sign, digits, decimal point, digits and exponent. A number too long
// for a double counts as 0.
double leading_number(std::string_view text);

// The leading number rounded to a whole number with halves to even, as a 16-bit
// signed value; a value outside -32768..32767 counts as 0.
std::int16_t prompt_number16(std::string_view text);

// A count of readings or blocks: the leading number rounded halves to even, as a 32-bit
// signed value; a number beyond that range, however long, asks for as many as can be,
// and counts as the nearest end of the range.
std::int32_t prompt_count32(std::string_view text);

}  // namespace tavric
