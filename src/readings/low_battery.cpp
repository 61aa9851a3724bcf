#include "readings/low_battery.h"

#include "readings/number_format.h"

namespace tavric {

void LowBatteries::AddLowVolts(std::int32_t ProbeID, float Vlt) {
  if (Vlt < kLowestBatteryVolts) return;
  const int count = LowVoltCount_;
  for (int i = 0; i < count; ++i) {
    if (LowVoltProbe_[i] == ProbeID) {
      if (LowVolts_[i] > Vlt) LowVolts_[i] = Vlt;
      return;
    }
  }
  LowVoltProbe_[count] = ProbeID;
  LowVolts_[count] = Vlt;
  LowVoltCount_ = static_cast<std::int16_t>(count < kListed ? count + 1 : count);
}

std::string LowBatteries::LowBatteryText() const {
  std::string units;
  for (int i = 0; i < LowVoltCount_; ++i) {
    if (LowVoltProbe_[i] <= 0) continue;
    units +=
        ", " + std::to_string(LowVoltProbe_[i]) + " (" + FormatNumber(LowVolts_[i], "##0.0") + "V)";
  }
  if (units.empty()) return {};
  return "The following units have low battery readings:\r" + units.substr(2);
}

void LowBatteries::ShowLowBatteryReport(Dialogs& dialogs) const {
  const std::string text = LowBatteryText();
  if (!text.empty()) dialogs.message(kLowBatteryTitle, text);
}

}  // namespace tavric
