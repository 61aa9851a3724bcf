#include "readings/low_battery.h"

#include <algorithm>

#include "readings/number_format.h"
#include "readings/output_files.h"

namespace tavric {
namespace {

constexpr int kListed = 100;  // units reported; slot 100 is a spare that is overwritten

int listed_count(const Session& s) {
  return std::clamp<int>(s.LowVoltCount, 0, kListed);
}

}  // namespace

void AddLowVolts(Session& s, std::int32_t ProbeID, float Vlt) {
  if (Vlt < kLowestBatteryVolts) return;
  const int count = listed_count(s);
  for (int i = 0; i < count; ++i) {
    if (s.LowVoltProbe[i] == ProbeID) {
      if (s.LowVolts[i] > Vlt) s.LowVolts[i] = Vlt;
      return;
    }
  }
  s.LowVoltProbe[count] = ProbeID;
  s.LowVolts[count] = Vlt;
  s.LowVoltCount = static_cast<std::int16_t>(count < kListed ? count + 1 : count);
}

std::string LowBatteryText(const Session& s) {
  std::string units;
  for (int i = 0; i < listed_count(s); ++i) {
    if (s.LowVoltProbe[i] <= 0) continue;
    units += ", " + std::to_string(s.LowVoltProbe[i]) + " (" +
             FormatNumber(s.LowVolts[i], "##0.0") + "V)";
  }
  if (units.empty()) return {};
  return "The following units have low battery readings:\r" + units.substr(2);
}

void ShowLowBatteryReport(Session& s) {
  const std::string text = LowBatteryText(s);
  if (!text.empty()) s.p.dialogs.message(kLowBatteryTitle, text);
}

}  // namespace tavric
