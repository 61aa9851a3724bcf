#include "report/downsampler.h"

#include <algorithm>

namespace tavric::report {

Downsampler::Downsampler(std::size_t buckets)
    : capacity_(std::max<std::size_t>(2, buckets & ~1U)) {}

Downsampler::Bucket Downsampler::merged(const Bucket& a, const Bucket& b) {
  // On a tie the earlier point stays, so a flat stretch keeps its start.
  return {b.low.value < a.low.value ? b.low : a.low, b.high.value > a.high.value ? b.high : a.high};
}

void Downsampler::add_bucket(Point p) {
  ++count_;
  if (buckets_.size() == capacity_) {
    for (std::size_t i = 0; i < capacity_ / 2; ++i) {
      buckets_[i] = merged(buckets_[2 * i], buckets_[2 * i + 1]);
    }
    buckets_.resize(capacity_ / 2);
    per_bucket_ *= 2;
  }
  buckets_.push_back({p, p});
  in_last_ = 1;
}

std::vector<Point> Downsampler::points(std::size_t buckets) const {
  std::size_t group = 1;
  while (buckets > 0 && (buckets_.size() + group - 1) / group > buckets) group *= 2;
  std::vector<Point> out;
  out.reserve(2 * ((buckets_.size() + group - 1) / group));
  for (std::size_t i = 0; i < buckets_.size(); i += group) {
    Bucket b = buckets_[i];
    for (std::size_t j = i + 1; j < std::min(i + group, buckets_.size()); ++j) {
      b = merged(b, buckets_[j]);
    }
    const Point& first = b.low.time <= b.high.time ? b.low : b.high;
    const Point& second = b.low.time <= b.high.time ? b.high : b.low;
    out.push_back(first);
    if (!(second == first)) out.push_back(second);
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const Point& a, const Point& b) { return a.time < b.time; });
  // A reading written twice (a reload, a dump that repeats one) is one point.
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

}  // namespace tavric::report
