#include "report/health_rules.h"

#include "report/decimal_text.h"

namespace tavric::report::rules {

std::vector<RuleText> rule_texts() {
  const auto v = [](Hundredths h) { return decimal_text(h) + " V"; };
  const auto c = [](Hundredths h) { return decimal_text(h) + " °C"; };
  const auto p = [](Hundredths h) { return decimal_text(h) + " %"; };
  const std::string jitter = std::to_string(static_cast<int>(kJitterShare * 100));
  return {
      {"battery", "a reading below " + v(kLowVolts) +
                      " in the last run (the run's message) or in the last " +
                      std::to_string(kBatteryDays) + " days of the probe's readings; below " +
                      v(kLowestBattery) + " is no battery reading; a trend (over " +
                      std::to_string(kTrendDays) + " days or more) of " + v(kTrendPerWeek) +
                      " a week or more is falling or rising"},
      {"silent", "the newest reading more than " + std::to_string(kSilentIntervals) +
                     " usual intervals (and " + jitter +
                     "% of one) behind the newest reading of the network"},
      {"gaps", "a spacing of readings longer than " + std::to_string(kGapIntervals) +
                   " usual intervals (and " + jitter +
                   "% of one); the usual interval is the median spacing of the probe's readings"},
      {"damaged", "a CRC-error or invalid-data record of the probe in the dump files"},
      {"repeats",
       "a line of the probe data file that repeats an earlier reading (same probe, "
       "time and values), charted once; a conflict is the same probe and time with "
       "other values"},
      {"sensor", "one value for " + std::to_string(kStuckFor / 3600) +
                     " hours or more (stuck); a moisture outside " + p(kMoistureLowest) + " to " +
                     p(kMoistureHighest) + " or a temperature outside " + c(kTemperatureLowest) +
                     " to " + c(kTemperatureHighest) + " (out of range); a change of " +
                     p(kMoistureStep) + " or " + c(kTemperatureStep) + " within " +
                     std::to_string(kStepWithin / 3600) +
                     " hours that no neighbouring depth shows by " +
                     std::to_string(kNeighbourPercent) + "% of it (step); a moisture that reads 0"},
  };
}

}  // namespace tavric::report::rules
