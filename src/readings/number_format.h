#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavric {

// Picture patterns: "0" is a digit always shown, "#" a digit shown only when it is
// significant (so a lone zero under "#" shows nothing), "." the decimal point. The
// value is rounded to the decimals the pattern shows, halves away from zero, and a
// negative value gets a "-" in front. The decimal point is always ".", whatever the
// locale. Only "0" may follow the point.
std::string FormatNumber(float value, std::string_view pattern);
std::string FormatNumber(std::int64_t value, std::string_view pattern);

// An integer written without a pattern: one space (or "-" for a negative value),
// the digits, and one space behind.
std::string NumberItem(std::int64_t value);

// CR LF, the end of every line of the output files.
inline constexpr std::string_view kLineEnd = "\r\n";

}  // namespace tavric
