#pragma once

#include <string>

#include "report/csv_line.h"

namespace tavric::report {

// A value in hundredths as a decimal number without trailing zeros: 3120 gives "31.2",
// -190 "-1.9", 400 "4".
std::string decimal_text(Hundredths value);

}  // namespace tavric::report
