#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "report/csv_line.h"

namespace tavric::report {

struct Point {
  Seconds time;
  Hundredths value;
  friend bool operator==(const Point&, const Point&) = default;
};

// Thins one line of a chart as its points come, with memory that does not grow with
// their number. The points may come out of time order (a server's store holds readings
// as the probes sent them). Points fall into buckets of consecutive points; each
// bucket keeps its lowest and its highest point, so every peak and every trough stays
// on the chart. When the buckets are all taken, neighbours merge in pairs and each
// bucket takes twice as many points from then on. Until then every point is kept.
class Downsampler {
 public:
  // At most `buckets` buckets (an even number), so at most twice that many points.
  explicit Downsampler(std::size_t buckets = kDefaultBuckets);

  // Most points join the last bucket; that is done here, in line, and the rest in
  // add_bucket().
  void add(Point p) {
    if (buckets_.empty() || in_last_ >= per_bucket_) return add_bucket(p);
    ++count_;
    ++in_last_;
    Bucket& last = buckets_.back();
    if (p.value < last.low.value) last.low = p;
    if (p.value > last.high.value) last.high = p;
  }
  std::uint64_t count() const { return count_; }

  // The kept points in time order, each once, the buckets first merged further, when
  // needed, so that at most `buckets` remain.
  std::vector<Point> points(std::size_t buckets) const;
  std::vector<Point> points() const { return points(capacity_); }

  static constexpr std::size_t kDefaultBuckets = 1024;

 private:
  struct Bucket {
    Point low;
    Point high;
  };
  static Bucket merged(const Bucket& a, const Bucket& b);
  void add_bucket(Point p);

  std::size_t capacity_;
  std::vector<Bucket> buckets_;
  std::uint64_t per_bucket_ = 1;
  std::uint64_t in_last_ = 0;  // points in the last bucket
  std::uint64_t count_ = 0;
};

}  // namespace tavric::report
