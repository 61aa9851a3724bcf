#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>

#include "report/csv_line.h"

namespace tavric::report {

// Finds the lines of one probe that repeat a reading (same time, same values) or
// contradict one (same time, other values), against the probe's latest readings: a
// reload or a file joined twice repeats what came shortly before. Memory is bounded by
// `window` readings whatever the file's size; a reading out of order from further back
// than that cannot be checked and is counted as such.
class RepeatWatch {
 public:
  enum class Seen { New, Repeat, Conflict };

  explicit RepeatWatch(std::size_t window);

  // A reading later than every one before: new by its time alone.
  void add_forward(Seconds time, std::uint32_t values);
  // A reading not later than the latest one.
  Seen add_earlier(Seconds time, std::uint32_t values);

  std::uint64_t unchecked() const { return unchecked_; }

 private:
  struct Kept {
    Seconds time;
    std::uint32_t values;
  };
  void forget_oldest_forward();

  std::size_t window_;
  std::deque<Kept> forward_;                  // in time order
  std::map<Seconds, std::uint32_t> earlier_;  // readings that came out of order
  std::optional<Seconds> forgotten_;          // the latest time let go of
  std::uint64_t unchecked_ = 0;
};

// A digest of a reading's values, so that equal lines are told from different ones at
// the same time without keeping them.
std::uint32_t values_digest(const ProbeDataLine& line);

}  // namespace tavric::report
