#include "report/battery_watch.h"

#include <algorithm>

namespace tavric::report {
namespace {

constexpr std::int64_t kDaySeconds = 24 * 3600;

std::int64_t day_of(Seconds time) {
  // Whole days since 2000-01-01, rounding down for times before it.
  return time >= 0 ? time / kDaySeconds
                   : -((-static_cast<std::int64_t>(time) + kDaySeconds - 1) / kDaySeconds);
}

}  // namespace

void BatteryWatch::add(Seconds time, Hundredths volts) {
  if (!is_battery_reading(volts)) return;
  const std::int64_t day = day_of(time);
  if (newest_ && day <= *newest_ - rules::kBatteryDays) return;  // before the days watched
  newest_ = std::max(newest_.value_or(day), day);
  Day& d = days_[static_cast<std::size_t>(((day % rules::kBatteryDays) + rules::kBatteryDays) %
                                          rules::kBatteryDays)];
  if (d.day != day || !watched(d)) d = Day{day, 0, 0, volts};
  ++d.readings;
  d.sum += volts;
  d.lowest = std::min(d.lowest, volts);
}

std::optional<Hundredths> BatteryWatch::lowest() const {
  std::optional<Hundredths> out;
  for (const Day& d : days_) {
    if (watched(d)) out = std::min(out.value_or(d.lowest), d.lowest);
  }
  return out;
}

std::optional<double> BatteryWatch::trend_per_week() const {
  double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (const Day& d : days_) {
    if (!watched(d)) continue;
    const double x = static_cast<double>(d.day - *newest_);
    const double y = static_cast<double>(d.sum) / d.readings;
    n += 1;
    sx += x;
    sy += y;
    sxx += x * x;
    sxy += x * y;
  }
  if (n < rules::kTrendDays) return std::nullopt;
  return (n * sxy - sx * sy) / (n * sxx - sx * sx) * 7;
}

}  // namespace tavric::report
