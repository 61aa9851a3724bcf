#include "platform/number_rule.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>

namespace tavric {
namespace {

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// Whole number nearest to v, halves to even; nullopt-like NaN when out of range.
double round_half_even(double v) {
  return std::nearbyint(v);
}  // default FE_TONEAREST

// The leading number as strtod reads it: a number too long for a double gives ±inf.
double leading_value(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() &&
         (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) {
    ++i;
  }
  const std::size_t start = i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  bool digits = false;
  while (i < text.size() && is_digit(text[i])) ++i, digits = true;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && is_digit(text[i])) ++i, digits = true;
  }
  if (!digits) return 0.0;
  std::size_t end = i;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && is_digit(text[j])) {
      while (j < text.size() && is_digit(text[j])) ++j;
      end = j;
    }
  }
  const std::string number(text.substr(start, end - start));
  return std::strtod(number.c_str(), nullptr);
}

}  // namespace

double leading_number(std::string_view text) {
  const double v = leading_value(text);
  return std::isfinite(v) ? v : 0.0;
}

std::int16_t prompt_number16(std::string_view text) {
  const double v = round_half_even(leading_number(text));
  if (v < -32768.0 || v > 32767.0) return 0;
  return static_cast<std::int16_t>(v);
}

std::int32_t prompt_count32(std::string_view text) {
  const double v = round_half_even(leading_value(text));
  if (std::isnan(v)) return 0;
  return static_cast<std::int32_t>(std::clamp(v, -2147483648.0, 2147483647.0));
}

}  // namespace tavric
