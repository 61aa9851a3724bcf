#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "report/csv_line.h"
#include "report/health_rules.h"

namespace tavric::report {

// One probe's battery over the last days of its readings: the lowest voltage and the
// trend, from a few per-day sums, so that memory does not grow with the readings.
class BatteryWatch {
 public:
  // A reading in any order; one older than the days watched is left out.
  void add(Seconds time, Hundredths volts);

  // The lowest battery reading of the last rules::kBatteryDays calendar days up to the
  // newest reading, if any.
  std::optional<Hundredths> lowest() const;
  // The least-squares slope of the daily means, in hundredths of a volt a week; none
  // with readings on fewer than rules::kTrendDays days.
  std::optional<double> trend_per_week() const;

 private:
  struct Day {
    std::int64_t day = 0;
    std::uint32_t readings = 0;
    std::int64_t sum = 0;
    Hundredths lowest = 0;
  };
  // Days newer than the newest by more than the window go out as it moves on.
  std::array<Day, rules::kBatteryDays> days_{};
  std::optional<std::int64_t> newest_;

  bool watched(const Day& d) const {
    return d.readings > 0 && newest_ && d.day > *newest_ - rules::kBatteryDays;
  }
};

// Whether a voltage is a battery reading: not below the lowest battery code, not a code
// of the server.
inline bool is_battery_reading(Hundredths volts) {
  return volts >= rules::kLowestBattery && volts < rules::kVoltsCodes;
}

}  // namespace tavric::report
