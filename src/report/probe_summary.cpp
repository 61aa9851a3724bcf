#include "report/probe_summary.h"

#include "platform/calendar.h"
#include "report/decimal_text.h"

namespace tavric::report {

std::string time_text(Seconds t) {
  const LocalDateTime d = from_seconds_since_2000(t);
  return format_date(d) + " " + format_time(d);
}

std::string column_name(int watch_index) {
  const bool moisture = watch_index >= kDepths;
  return (moisture ? "Water%" : "Temp") + std::to_string(watch_index % kDepths + 1);
}

void ProbeSummary::add(const ProbeDataLine& line) {
  const bool forward = readings_ == 0 || line.time > last_;
  if (readings_ == 0 || line.time < first_) first_ = line.time;
  ++readings_;
  for (int depth = 0; depth < kDepths; ++depth) {
    lines_[kTemperatureLine + depth].add({line.time, line.temperature[depth]});
    lines_[kMoistureLine + depth].add({line.time, line.moisture[depth]});
  }
  if (line.volts < kVoltsCodes) lines_[kVoltsLine].add({line.time, line.volts});
  if (!forward) return;
  last_ = line.time;
  latest_volts_ = line.volts;
  for (int depth = 0; depth < kDepths; ++depth) {
    watches_[depth].add(line.time, line.temperature[depth]);
    watches_[kDepths + depth].add(line.time, line.moisture[depth]);
  }
}

std::vector<std::string> ProbeSummary::warnings(bool last_run_known) const {
  std::vector<std::string> out;
  if (last_run_known && !in_last_run_) out.emplace_back("no reading in the last run");
  std::string zero;
  std::array<bool, 2 * kDepths> reads_zero{};
  for (int i = 0; i < 2 * kDepths; ++i) {
    // Soil can be at 0.0 °C; a temperature reads 0 as a fault only beside a moisture of 0.
    const int moisture = i < kDepths ? i + kDepths : i;
    reads_zero[i] = watches_[i].latest() == 0 && watches_[moisture].latest() == 0;
    if (reads_zero[i]) zero += (zero.empty() ? "" : ", ") + column_name(i);
  }
  if (!zero.empty()) out.push_back("reads 0: " + zero);
  for (int i = 0; i < 2 * kDepths; ++i) {
    const auto flat = watches_[i].latest_flat_day();
    if (!flat) continue;
    const bool now = watches_[i].flat_now();
    if (now && reads_zero[i]) continue;  // said above
    out.push_back(column_name(i) + " stuck at " + decimal_text(flat->value) +
                  (now ? " since " + time_text(flat->from)
                       : " from " + time_text(flat->from) + " to " + time_text(flat->to)));
  }
  return out;
}

}  // namespace tavric::report
