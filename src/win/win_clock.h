#pragma once

#include "platform/clock.h"

namespace tavric::win {

// The machine's steady clock and its local wall clock.
class WinClock : public Clock {
 public:
  MonoTime monotonic() const override;
  LocalDateTime local_now() const override;
};

}  // namespace tavric::win
