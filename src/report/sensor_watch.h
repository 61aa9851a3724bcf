#pragma once

#include <optional>

#include "report/csv_line.h"

namespace tavric::report {

// A stretch of time over which one column read the same value without a break.
struct FlatStretch {
  Hundredths value = 0;
  Seconds from = 0;
  Seconds to = 0;
};

// Watches one column of one probe (a soil temperature or moisture) for the signs of a
// faulty sensor: the same value for at least a whole day, and the value it reads last.
class SensorWatch {
 public:
  static constexpr Seconds kWholeDay = 24 * 3600;

  // Readings come in time order.
  void add(Seconds time, Hundredths value);

  std::optional<Hundredths> latest() const {
    return run_ ? std::optional(run_->value) : std::nullopt;
  }
  // The latest stretch of a whole day or more of one value, which may still go on.
  std::optional<FlatStretch> latest_flat_day() const;
  // Whether the latest reading belongs to that stretch.
  bool flat_now() const;

 private:
  std::optional<FlatStretch> run_;   // the current run of equal values
  std::optional<FlatStretch> flat_;  // the latest finished run of a whole day or more
};

}  // namespace tavric::report
