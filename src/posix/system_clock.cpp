#include "posix/system_clock.h"

#include <ctime>

namespace tavric {

MonoTime SystemClock::monotonic() const {
  return std::chrono::duration_cast<MonoTime>(std::chrono::steady_clock::now().time_since_epoch());
}

LocalDateTime SystemClock::local_now() const {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return LocalDateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                       tm.tm_hour,        tm.tm_min,     tm.tm_sec};
}

}  // namespace tavric
