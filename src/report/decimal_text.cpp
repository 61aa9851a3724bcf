#include "report/decimal_text.h"

#include <cstdlib>

namespace tavric::report {

std::string decimal_text(Hundredths value) {
  const long long magnitude = std::llabs(static_cast<long long>(value));
  std::string text = (value < 0 ? "-" : "") + std::to_string(magnitude / 100);
  const int fraction = static_cast<int>(magnitude % 100);
  if (fraction != 0) {
    text += '.';
    text += static_cast<char>('0' + fraction / 10);
    if (fraction % 10 != 0) text += static_cast<char>('0' + fraction % 10);
  }
  return text;
}

}  // namespace tavric::report
