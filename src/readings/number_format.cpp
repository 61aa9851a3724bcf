#include "readings/number_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <optional>

namespace tavric {
namespace {

struct Picture {
  std::size_t min_int_digits = 0;  // the "0"s before the point
  std::size_t decimals = 0;        // the places after the point
};

Picture parse(std::string_view pattern) {
  Picture p;
  const std::size_t point = pattern.find('.');
  const std::string_view whole = pattern.substr(0, point);
  for (char c : whole) {
    if (c == '0') ++p.min_int_digits;
  }
  // A float's expansion has at most 149 places; more could never change the text.
  if (point != std::string_view::npos)
    p.decimals = std::min<std::size_t>(pattern.size() - point - 1, 140);
  return p;
}

// Lays out an unsigned decimal `digits` (no point) that stands for digits / 10^decimals.
std::string lay_out(std::string digits, const Picture& p, bool negative) {
  if (digits.size() < p.decimals) digits.insert(0, p.decimals - digits.size(), '0');
  std::string whole = digits.substr(0, digits.size() - p.decimals);
  const std::string fraction = digits.substr(digits.size() - p.decimals);
  const std::size_t first = whole.find_first_not_of('0');
  whole = first == std::string::npos ? std::string() : whole.substr(first);
  if (whole.size() < p.min_int_digits) whole.insert(0, p.min_int_digits - whole.size(), '0');
  std::string out = negative ? "-" : "";
  out += whole;
  if (p.decimals > 0) out += "." + fraction;
  return out;
}

// Adds one to the decimal digit string `digits`.
void increment(std::string& digits) {
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (*it != '9') {
      ++*it;
      return;
    }
    *it = '0';
  }
  digits.insert(digits.begin(), '1');
}

// |value| × 10^decimals rounded to a whole number, halves away from zero, worked out
// exactly in integers: a float is m × 2^e with m below 2^24, so for a few decimals the
// product fits 64 bits. Nothing when it would not (many decimals, a huge value).
std::optional<std::uint64_t> scaled_exactly(float value, std::size_t decimals) {
  constexpr std::uint64_t kPowers[] = {1, 10, 100, 1000, 10000};
  if (decimals >= std::size(kPowers)) return std::nullopt;
  int exponent = 0;
  const double fraction = std::frexp(std::fabs(static_cast<double>(value)), &exponent);
  const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 24));  // exact
  const std::uint64_t scaled = mantissa * kPowers[decimals];                   // below 2^38
  const int shift = exponent - 24;
  if (shift >= 0) {
    if (shift > 20) return std::nullopt;
    return scaled << shift;
  }
  const int k = -shift;
  if (k > 62) return 0;  // below a half
  const std::uint64_t whole = scaled >> k;
  const std::uint64_t rest = scaled & ((std::uint64_t{1} << k) - 1);
  return whole + (rest >= (std::uint64_t{1} << (k - 1)) ? 1 : 0);
}

}  // namespace

std::string FormatNumber(float value, std::string_view pattern) {
  const Picture p = parse(pattern);
  if (!std::isfinite(value)) return std::isnan(value) ? "NaN" : (value < 0 ? "-Inf" : "Inf");
  if (const auto scaled = scaled_exactly(value, p.decimals)) {
    return lay_out(std::to_string(*scaled), p, value < 0);
  }
  // Every float has a finite decimal expansion (at most 149 places); with it in full
  // the rounding is decided on the float's own value, and a tie is exact: the first
  // dropped digit is 5 or more exactly when the value rounds away from zero.
  char buf[256];
  const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(static_cast<double>(value)),
                               std::chars_format::fixed, 150);
  const std::string_view exact(buf, static_cast<std::size_t>(r.ptr - buf));
  const std::size_t point = exact.find('.');
  std::string digits(exact.substr(0, point));
  digits += exact.substr(point + 1, p.decimals);
  if (exact[point + 1 + p.decimals] >= '5') increment(digits);
  return lay_out(std::move(digits), p, value < 0);
}

std::string FormatNumber(std::int64_t value, std::string_view pattern) {
  const Picture p = parse(pattern);
  const std::uint64_t magnitude =
      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  return lay_out(std::to_string(magnitude) + std::string(p.decimals, '0'), p, value < 0);
}

std::string NumberItem(std::int64_t value) {
  return value < 0 ? std::to_string(value) + " " : " " + std::to_string(value) + " ";
}

}  // namespace tavric
