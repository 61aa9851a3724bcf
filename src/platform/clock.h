#pragma once

#include <chrono>

#include "platform/calendar.h"

namespace tavric {

// Time on a clock that never jumps: every wait of the run is measured on it.
using MonoTime = std::chrono::nanoseconds;

inline constexpr MonoTime seconds_f(double s) {
  return std::chrono::duration_cast<MonoTime>(std::chrono::duration<double>(s));
}

class Clock {
 public:
  virtual ~Clock() = default;
  virtual MonoTime monotonic() const = 0;
  // The computer's wall clock as a naive local calendar value, to the second.
  virtual LocalDateTime local_now() const = 0;
};

}  // namespace tavric
