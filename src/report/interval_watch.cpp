#include "report/interval_watch.h"

#include <algorithm>
#include <bit>

#include "report/health_rules.h"

namespace tavric::report {
namespace {

bool longer(const Gap& a, const Gap& b) {
  return a.length() > b.length();
}

}  // namespace

Seconds IntervalWatch::bin(Seconds spacing) {
  if (spacing < kExactBelow) return spacing;
  const int shift = std::bit_width(static_cast<std::uint32_t>(spacing)) - 12;
  return static_cast<Seconds>((static_cast<std::uint32_t>(spacing) >> shift) << shift);
}

void IntervalWatch::count(const Gap& gap) {
  ++spacings_[bin(gap.length())];
  ++total_;
  if (longest_.size() < kLongestKept) {
    longest_.push_back(gap);
    std::push_heap(longest_.begin(), longest_.end(), longer);
  } else if (gap.length() > longest_.front().length()) {
    std::pop_heap(longest_.begin(), longest_.end(), longer);
    longest_.back() = gap;
    std::push_heap(longest_.begin(), longest_.end(), longer);
  }
}

void IntervalWatch::add(Seconds time) {
  if (last_) count({*last_, time});
  if (!first_) first_ = time;
  last_ = time;
}

void IntervalWatch::add_earlier(Seconds time) {
  if (!first_) return add(time);
  if (time < *first_) {
    count({time, *first_});
    first_ = time;
    return;
  }
  const auto kept = std::find_if(longest_.begin(), longest_.end(),
                                 [&](const Gap& g) { return g.from < time && time < g.to; });
  if (kept == longest_.end()) return;
  const Gap split = *kept;
  longest_.erase(kept);
  std::make_heap(longest_.begin(), longest_.end(), longer);
  if (const auto b = spacings_.find(bin(split.length()));
      b != spacings_.end() && --b->second == 0) {
    spacings_.erase(b);
  }
  --total_;
  count({split.from, time});
  count({time, split.to});
}

std::optional<Seconds> IntervalWatch::usual() const {
  if (total_ == 0) return std::nullopt;
  std::uint64_t seen = 0;
  for (const auto& [spacing, count] : spacings_) {
    seen += count;
    if (2 * seen >= total_ + 1) return spacing;
  }
  return spacings_.rbegin()->first;
}

std::uint64_t IntervalWatch::count_longer(Seconds limit) const {
  std::uint64_t out = 0;
  for (auto it = spacings_.upper_bound(limit); it != spacings_.end(); ++it) out += it->second;
  // A bin holds spacings from its key up: those of the bin below the limit's own may be
  // longer too, and are counted from the kept ones when they are.
  if (limit >= kExactBelow) {
    const auto own = spacings_.find(bin(limit));
    if (own != spacings_.end() && own->first <= limit) {
      out += static_cast<std::uint64_t>(std::count_if(
          longest_.begin(), longest_.end(),
          [&](const Gap& g) { return bin(g.length()) == own->first && g.length() > limit; }));
    }
  }
  return out;
}

std::vector<Gap> IntervalWatch::longest(Seconds limit) const {
  std::vector<Gap> out;
  for (const Gap& g : longest_) {
    if (g.length() > limit) out.push_back(g);
  }
  std::sort(out.begin(), out.end(), [](const Gap& a, const Gap& b) { return a.from < b.from; });
  return out;
}

Seconds gap_limit(Seconds usual, int intervals) {
  return static_cast<Seconds>(static_cast<double>(usual) * (intervals + rules::kJitterShare));
}

}  // namespace tavric::report
