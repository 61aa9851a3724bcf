#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "report/csv_line.h"
#include "report/downsampler.h"

namespace tavric::report {

// A stretch of time over which one column read the same value without a break, or
// read values out of range (`value` then the one furthest out).
struct FlatStretch {
  Hundredths value = 0;
  Seconds from = 0;
  Seconds to = 0;
  friend bool operator==(const FlatStretch&, const FlatStretch&) = default;
};

// Watches one column of one probe (a soil temperature or moisture) for the signs of a
// faulty sensor: the same value for at least a whole day, values outside what soil can
// give, and sudden steps (found by the probe, which sees the neighbouring depths). Only
// the latest few stretches and steps are kept, with their counts.
class SensorWatch {
 public:
  static constexpr std::size_t kKept = 8;

  SensorWatch(Hundredths lowest, Hundredths highest) : lowest_(lowest), highest_(highest) {}

  // Readings come in time order.
  void add(Seconds time, Hundredths value);
  void add_step(Seconds time, Hundredths change);

  std::optional<Hundredths> latest() const {
    return run_ ? std::optional(run_->value) : std::nullopt;
  }
  // The latest stretch of a whole day or more of one value, which may still go on.
  std::optional<FlatStretch> latest_flat_day() const;
  // Whether the latest reading belongs to that stretch.
  bool flat_now() const;

  std::uint64_t out_of_range() const { return out_of_range_; }
  const std::vector<FlatStretch>& out_of_range_stretches() const { return outside_; }
  bool out_of_range_now() const { return outside_now_; }
  std::uint64_t steps() const { return steps_; }
  const std::vector<Point>& latest_steps() const { return latest_steps_; }  // time, change

 private:
  Hundredths lowest_;
  Hundredths highest_;
  std::optional<FlatStretch> run_;   // the current run of equal values
  std::optional<FlatStretch> flat_;  // the latest finished run of a whole day or more
  std::uint64_t out_of_range_ = 0;
  bool outside_now_ = false;
  std::vector<FlatStretch> outside_;
  std::uint64_t steps_ = 0;
  std::vector<Point> latest_steps_;
};

}  // namespace tavric::report
