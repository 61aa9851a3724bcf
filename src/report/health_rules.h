#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "report/csv_line.h"

// Every threshold the chart page judges a probe by, in one place, so that the page can
// say what it judged and a change of mind is made here only.
namespace tavric::report::rules {

// Battery. A voltage below kLowVolts is low, as in the run's "Low Batteries" message;
// one below kLowestBattery is no battery reading (the run ignores it too), and 997 V
// and up are the server's codes (999: power failure).
inline constexpr Hundredths kLowVolts = 340;
inline constexpr Hundredths kLowestBattery = 220;
inline constexpr Hundredths kVoltsCodes = 99700;
// The battery's lowest value and trend are taken over the calendar days up to a probe's
// newest reading.
inline constexpr int kBatteryDays = 7;
// A trend of at least this many hundredths of a volt a week, either way, is not steady;
// it is drawn from the daily means of at least kTrendDays days (fewer say little more
// than the last low reading).
inline constexpr Hundredths kTrendPerWeek = 10;
inline constexpr int kTrendDays = 3;

// Spacing. A probe's usual interval is the median spacing of its readings. A spacing is
// a gap when it exceeds kGapIntervals intervals by more than kJitterShare of one (the
// probes' clocks wander by seconds, so one lost reading is no gap); a probe is silent
// when its newest reading lies further behind the network's newest by the same measure
// of kSilentIntervals.
inline constexpr int kGapIntervals = 2;
inline constexpr int kSilentIntervals = 2;
inline constexpr double kJitterShare = 0.5;

// Sensors. Stuck: one value for a whole day of readings. Out of range: a value soil
// cannot give. Step: a change of at least the step between two readings at most
// kStepWithin apart, which no neighbouring depth shows by moving the same way by at
// least kNeighbourPercent of it.
inline constexpr Seconds kStuckFor = 24 * 3600;
inline constexpr Hundredths kMoistureLowest = 0;
inline constexpr Hundredths kMoistureHighest = 10000;
inline constexpr Hundredths kTemperatureLowest = -3000;
inline constexpr Hundredths kTemperatureHighest = 7000;
inline constexpr Hundredths kMoistureStep = 1000;
inline constexpr Hundredths kTemperatureStep = 500;
inline constexpr Seconds kStepWithin = 2 * 3600;
inline constexpr int kNeighbourPercent = 25;

// Repeats: a reading is checked against the last kRepeatWindow readings of its probe.
inline constexpr std::size_t kRepeatWindow = 8192;

// The rules as the page states them: a name and what is judged.
struct RuleText {
  std::string name;
  std::string judged;
};
std::vector<RuleText> rule_texts();

}  // namespace tavric::report::rules
