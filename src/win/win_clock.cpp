#include "win/win_clock.h"

#include <windows.h>

namespace tavric::win {

MonoTime WinClock::monotonic() const {
  return std::chrono::duration_cast<MonoTime>(std::chrono::steady_clock::now().time_since_epoch());
}

LocalDateTime WinClock::local_now() const {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  return LocalDateTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

}  // namespace tavric::win
