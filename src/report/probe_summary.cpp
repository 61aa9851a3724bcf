#include "report/probe_summary.h"

#include <cstdlib>

#include "platform/calendar.h"
#include "report/health_rules.h"

namespace tavric::report {
namespace {

std::array<SensorWatch, kSensorColumns> sensor_watches() {
  const SensorWatch temperature(rules::kTemperatureLowest, rules::kTemperatureHighest);
  const SensorWatch moisture(rules::kMoistureLowest, rules::kMoistureHighest);
  return {temperature, temperature, temperature, temperature, temperature, temperature,
          moisture,    moisture,    moisture,    moisture,    moisture,    moisture};
}

// Whether a neighbouring depth moved the same way by enough of `change` to show it.
bool shows(Hundredths neighbour, Hundredths change) {
  return (neighbour < 0) == (change < 0) &&
         std::abs(neighbour) * 100 >= std::abs(change) * rules::kNeighbourPercent;
}

}  // namespace

std::string time_text(Seconds t) {
  const LocalDateTime d = from_seconds_since_2000(t);
  return format_date(d) + " " + format_time(d);
}

std::string column_name(int column) {
  const bool moisture = column >= kDepths;
  return (moisture ? "Water%" : "Temp") + std::to_string(column % kDepths + 1);
}

ProbeSummary::ProbeSummary(int probe)
    : probe_(probe), sensors_(sensor_watches()), repeat_watch_(rules::kRepeatWindow) {}

void ProbeSummary::add(const ProbeDataLine& line) {
  const bool forward = readings_ == 0 || line.time > last_;
  const std::uint32_t digest = values_digest(line);
  if (forward) {
    repeat_watch_.add_forward(line.time, digest);
  } else {
    switch (repeat_watch_.add_earlier(line.time, digest)) {
      case RepeatWatch::Seen::Repeat:
        ++repeats_;
        return;  // charted once
      case RepeatWatch::Seen::Conflict:
        ++conflicts_;
        if (conflict_times_.size() == kConflictsKept)
          conflict_times_.erase(conflict_times_.begin());
        conflict_times_.push_back(line.time);
        break;
      case RepeatWatch::Seen::New:
        break;
    }
  }
  if (readings_ == 0 || line.time < first_) first_ = line.time;
  ++readings_;
  for (int depth = 0; depth < kDepths; ++depth) {
    lines_[kTemperatureLine + depth].add({line.time, line.temperature[depth]});
    lines_[kMoistureLine + depth].add({line.time, line.moisture[depth]});
  }
  if (line.volts < rules::kVoltsCodes) lines_[kVoltsLine].add({line.time, line.volts});
  battery_.add(line.time, line.volts);
  if (!forward) return intervals_.add_earlier(line.time);
  intervals_.add(line.time);
  watch_steps(line);
  previous_ = line;
  last_ = line.time;
  latest_volts_ = line.volts;
  for (int depth = 0; depth < kDepths; ++depth) {
    sensors_[depth].add(line.time, line.temperature[depth]);
    sensors_[kDepths + depth].add(line.time, line.moisture[depth]);
  }
}

void ProbeSummary::watch_steps(const ProbeDataLine& now) {
  if (!previous_ || now.time - previous_->time > rules::kStepWithin) return;
  const auto watch = [&](const std::array<Hundredths, kDepths>& before,
                         const std::array<Hundredths, kDepths>& after, Hundredths step,
                         int first_column) {
    for (int d = 0; d < kDepths; ++d) {
      const Hundredths change = after[d] - before[d];
      if (std::abs(change) < step) continue;
      const bool shown = (d > 0 && shows(after[d - 1] - before[d - 1], change)) ||
                         (d + 1 < kDepths && shows(after[d + 1] - before[d + 1], change));
      if (!shown) sensors_[first_column + d].add_step(now.time, change);
    }
  };
  watch(previous_->temperature, now.temperature, rules::kTemperatureStep, 0);
  watch(previous_->moisture, now.moisture, rules::kMoistureStep, kDepths);
}

void ProbeSummary::add_last_run(Hundredths volts) {
  in_last_run_ = true;
  if (is_battery_reading(volts)) {
    last_run_lowest_ = std::min(last_run_lowest_.value_or(volts), volts);
  }
}

}  // namespace tavric::report
