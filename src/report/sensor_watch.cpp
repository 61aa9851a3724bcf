#include "report/sensor_watch.h"

namespace tavric::report {
namespace {

bool whole_day(const FlatStretch& s) {
  return s.to - s.from >= SensorWatch::kWholeDay;
}

}  // namespace

void SensorWatch::add(Seconds time, Hundredths value) {
  if (run_ && run_->value == value) {
    run_->to = time;
    return;
  }
  if (run_ && whole_day(*run_)) flat_ = run_;
  run_ = FlatStretch{value, time, time};
}

std::optional<FlatStretch> SensorWatch::latest_flat_day() const {
  if (flat_now()) return run_;
  return flat_;
}

bool SensorWatch::flat_now() const {
  return run_ && whole_day(*run_);
}

}  // namespace tavric::report
