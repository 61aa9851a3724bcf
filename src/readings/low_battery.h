#pragma once

#include <string>

#include "session/session.h"

namespace tavric {

inline constexpr const char* kLowBatteryTitle = "Low Batteries";
// A reading below this voltage puts its unit on the low-battery list.
inline constexpr float kLowBatteryVolts = 3.4F;
// Below this a voltage is no battery reading (under the lowest battery code): ignored.
inline constexpr float kLowestBatteryVolts = 2.2F;

// The text of the low-battery message ("" when no unit with a probe id above 0 is
// listed): each unit once, in the order of its first low reading, with its lowest
// voltage of the run.
std::string LowBatteryText(const Session& s);

}  // namespace tavric
