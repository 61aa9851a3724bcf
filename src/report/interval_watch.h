#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "report/csv_line.h"

namespace tavric::report {

// A stretch without readings between two readings of one probe.
struct Gap {
  Seconds from = 0;  // the reading before it
  Seconds to = 0;    // the reading after it
  Seconds length() const { return to - from; }
  friend bool operator==(const Gap&, const Gap&) = default;
};

// The spacing of one probe's readings: how many there were of each length, so that the
// median is found at the end, and the longest ones with their times, so that the gaps
// among them can be named. Memory stays small whatever the number of readings: spacings
// up to kExactBelow seconds are counted to the second, longer ones to 12 significant
// bits.
class IntervalWatch {
 public:
  static constexpr Seconds kExactBelow = 4096;
  static constexpr std::size_t kLongestKept = 32;

  // The readings that go forward in time, in their order.
  void add(Seconds time);
  // A reading that came after later ones (a store that kept readings out of order, a
  // reload): it closes the kept gap it falls in, or stretches the start back. One in a
  // spacing that is not kept leaves that spacing counted whole.
  void add_earlier(Seconds time);

  // The median spacing, if there are two readings or more.
  std::optional<Seconds> usual() const;
  // The spacings longer than `limit`: how many, and the longest of them (at most
  // kLongestKept) in time order.
  std::uint64_t count_longer(Seconds limit) const;
  std::vector<Gap> longest(Seconds limit) const;

 private:
  static Seconds bin(Seconds spacing);
  void count(const Gap& gap);

  std::map<Seconds, std::uint64_t> spacings_;  // bin -> count
  std::uint64_t total_ = 0;
  std::optional<Seconds> first_;
  std::optional<Seconds> last_;
  std::vector<Gap> longest_;  // a min-heap by length
};

// A spacing that is a gap for a probe of usual interval `usual` with `intervals` as the
// rule's measure: longer than that many intervals and the jitter allowed.
Seconds gap_limit(Seconds usual, int intervals);

}  // namespace tavric::report
