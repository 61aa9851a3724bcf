#pragma once

#include <cstdint>
#include <utility>

#include "platform/bytes.h"
#include "platform/clock.h"
#include "sim/faults.h"
#include "sim/line_device.h"

namespace tavric::sim {

// Puts a server's replies on the line as the fault plan says: not at all (silent
// requests, dead link), after line noise, or cut short. Checks and contents, and the
// faults that change them, are the server's business.
class ReplySender {
 public:
  explicit ReplySender(FaultPlan plan, std::uint64_t seed = 1)
      : plan_(std::move(plan)), noise_(seed) {}

  const FaultPlan& plan() const { return plan_; }
  // Whether request `number` (counted from 1) gets a reply at all.
  bool answers(int number) const;
  // Sends the reply `frame` to request `number` from `at` on at `baud`. Returns when
  // its last byte has left (assuming an idle line).
  MonoTime send(LineEnd& line, const Bytes& frame, int number, MonoTime at, int baud);

 private:
  FaultPlan plan_;
  std::uint64_t noise_;
};

}  // namespace tavric::sim
