#include "report/repeat_watch.h"

#include <algorithm>

namespace tavric::report {

RepeatWatch::RepeatWatch(std::size_t window) : window_(std::max<std::size_t>(1, window)) {}

void RepeatWatch::forget_oldest_forward() {
  forgotten_ = std::max(forgotten_.value_or(forward_.front().time), forward_.front().time);
  forward_.pop_front();
}

void RepeatWatch::add_forward(Seconds time, std::uint32_t values) {
  if (forward_.size() == window_) forget_oldest_forward();
  forward_.push_back({time, values});
}

RepeatWatch::Seen RepeatWatch::add_earlier(Seconds time, std::uint32_t values) {
  const auto kept = std::lower_bound(forward_.begin(), forward_.end(), time,
                                     [](const Kept& k, Seconds t) { return k.time < t; });
  if (kept != forward_.end() && kept->time == time) {
    return kept->values == values ? Seen::Repeat : Seen::Conflict;
  }
  if (const auto other = earlier_.find(time); other != earlier_.end()) {
    return other->second == values ? Seen::Repeat : Seen::Conflict;
  }
  if (forgotten_ && time <= *forgotten_) ++unchecked_;
  earlier_.emplace(time, values);
  if (earlier_.size() > window_) {
    forgotten_ = std::max(forgotten_.value_or(earlier_.begin()->first), earlier_.begin()->first);
    earlier_.erase(earlier_.begin());
  }
  return Seen::New;
}

std::uint32_t values_digest(const ProbeDataLine& line) {
  std::uint32_t h = 0x811C9DC5U;
  const auto mix = [&h](Hundredths v) { h = (h ^ static_cast<std::uint32_t>(v)) * 0x9E3779B1U; };
  for (int d = 0; d < kDepths; ++d) {
    mix(line.temperature[d]);
    mix(line.moisture[d]);
  }
  mix(line.volts);
  return h ^ (h >> 15);
}

}  // namespace tavric::report
