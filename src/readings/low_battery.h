#pragma once

#include <string>

#include "session/session.h"

namespace tavric {

inline constexpr const char* kLowBatteryTitle = "Low Batteries";

// The text of the low-battery message ("" when no unit with a probe id above 0 is
// listed): each unit once, in the order of its first low reading, with its lowest
// voltage of the run.
std::string LowBatteryText(const Session& s);

}  // namespace tavric
