#pragma once

#include <cstdint>

namespace tavric::sim {

// A small seeded generator (splitmix64) whose sequence is the same on every platform
// and standard library, so a seed reproduces a scenario exactly.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // A whole number from lo to hi, both included.
  int between(int lo, int hi) {
    return lo + static_cast<int>(next() % static_cast<std::uint64_t>(hi - lo + 1));
  }
  // A value from 0 (included) to 1 (excluded).
  double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  double uniform(double lo, double hi) { return lo + (hi - lo) * unit(); }
  // True in `per_mille` cases out of 1000.
  bool chance(int per_mille) { return between(0, 999) < per_mille; }

 private:
  std::uint64_t state_;
};

}  // namespace tavric::sim
