#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/dialogs.h"

namespace tavric {

inline constexpr const char* kLowBatteryTitle = "Low Batteries";
// A reading below this voltage puts its unit on the low-battery list.
inline constexpr float kLowBatteryVolts = 3.4F;
// Below this a voltage is no battery reading (under the lowest battery code): ignored.
inline constexpr float kLowestBatteryVolts = 2.2F;

// The units whose batteries ran low in this run, each with its lowest voltage.
class LowBatteries {
 public:
  // Keeps the lowest voltage per unit (2.2 V and up), in the order of first appearance.
  // A hundred units are listed; units after them are not reported.
  void AddLowVolts(std::int32_t ProbeID, float Vlt);

  // The text of the low-battery message ("" when no unit with a probe id above 0 is
  // listed): each unit once, in the order of its first low reading, with its lowest
  // voltage of the run.
  std::string LowBatteryText() const;

  // Shows the "Low Batteries" message when the run listed any unit.
  void ShowLowBatteryReport(Dialogs& dialogs) const;

  std::int16_t LowVoltCount() const { return LowVoltCount_; }

 private:
  static constexpr int kListed = 100;  // units reported; slot 100 is a spare overwritten
  std::array<std::int32_t, kListed + 1> LowVoltProbe_{};
  std::array<float, kListed + 1> LowVolts_{};
  std::int16_t LowVoltCount_ = 0;
};

}  // namespace tavric
