#include "report/sensor_watch.h"

#include "report/health_rules.h"

namespace tavric::report {
namespace {

bool whole_day(const FlatStretch& s) {
  return s.to - s.from >= rules::kStuckFor;
}

template <typename T>
void keep_latest(std::vector<T>& kept, const T& item) {
  if (kept.size() == SensorWatch::kKept) kept.erase(kept.begin());
  kept.push_back(item);
}

}  // namespace

void SensorWatch::add(Seconds time, Hundredths value) {
  const bool outside = value < lowest_ || value > highest_;
  if (outside) {
    ++out_of_range_;
    if (outside_now_) {
      FlatStretch& s = outside_.back();
      s.to = time;
      const auto distance = [&](Hundredths v) { return v < lowest_ ? lowest_ - v : v - highest_; };
      if (distance(value) > distance(s.value)) s.value = value;
    } else {
      keep_latest(outside_, FlatStretch{value, time, time});
    }
  }
  outside_now_ = outside;

  if (run_ && run_->value == value) {
    run_->to = time;
    return;
  }
  if (run_ && whole_day(*run_)) flat_ = run_;
  run_ = FlatStretch{value, time, time};
}

void SensorWatch::add_step(Seconds time, Hundredths change) {
  ++steps_;
  keep_latest(latest_steps_, Point{time, change});
}

std::optional<FlatStretch> SensorWatch::latest_flat_day() const {
  if (flat_now()) return run_;
  return flat_;
}

bool SensorWatch::flat_now() const {
  return run_ && whole_day(*run_);
}

}  // namespace tavric::report
