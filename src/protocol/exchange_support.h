#pragma once

#include <algorithm>
#include <cstdint>

#include "platform/bytes.h"
#include "protocol/line.h"

namespace tavric {

// Time since `since` on the monotonic clock of the run.
inline MonoTime elapsed_since(Line& line, MonoTime since) {
  return line.clock.monotonic() - since;
}

// How long `bytes` bytes take at the speed the port is set to.
inline MonoTime line_time(const Line& line, std::size_t bytes) {
  return line_time(settings_baud(line.port.settings()), bytes);
}

// What one attempt may take from a line that never goes quiet (a stuck modem, a device
// at another speed, endless noise), whose every arrival would restart the reply wait
// for ever: a number of bytes, past which the attempt has failed as on a silent line,
// so a noisy line costs about what a silent one does. The time allowed follows the
// arrivals: each one moves the deadline to the rest of the bytes at the line speed
// plus the waits, so a line slower than its speed that keeps coming is waited for.
class AttemptLimit {
 public:
  AttemptLimit(const Line& line, MonoTime start, std::size_t bytes, MonoTime waits)
      : baud_(settings_baud(line.port.settings())),
        waits_(waits),
        bytes_left_(bytes),
        deadline_(start + line_time(baud_, bytes) + waits) {}

  // For a reply of at most `longest` bytes: room for it twice over (noise or a faulty
  // reply before the good one), and four reply waits, so that a reply coming in a few
  // pieces, each after a pause just short of the wait, still fits.
  static AttemptLimit for_reply(const Line& line, MonoTime start, std::size_t longest,
                                MonoTime wait) {
    return AttemptLimit(line, start, 2 * longest, 4 * wait);
  }
  MonoTime deadline() const { return deadline_; }
  // Counts `n` bytes taken from the line at `now`; true once there were more than
  // allowed.
  bool take(std::size_t n, MonoTime now) {
    spent_ = spent_ || n > bytes_left_;
    bytes_left_ -= std::min(n, bytes_left_);
    deadline_ = std::max(deadline_, now + line_time(baud_, bytes_left_) + waits_);
    return spent_;
  }
  bool spent(MonoTime now) const { return spent_ || now >= deadline_; }

 private:
  int baud_;
  MonoTime waits_;
  std::size_t bytes_left_;
  MonoTime deadline_;
  bool spent_ = false;
};

// Sleeps until `want` received bytes are waiting or `deadline` passes, so that a reply
// coming a byte at a time wakes the run once per piece it waits for, not once per byte.
// True when any byte is waiting then.
inline bool await_input(Line& line, MonoTime deadline, WindowEvents events, std::size_t want) {
  if (line.port.in_buffer_count() < want) line.port.wait_for_input(deadline, events, want);
  return line.port.in_buffer_count() > 0;
}

// What is still to come of a reply whose length byte stands at position `length_at`
// (from 0): up to that byte first, then the rest of `expected` bytes.
inline std::size_t bytes_to_come(std::size_t received, std::size_t length_at,
                                 std::size_t expected) {
  const std::size_t upto = received <= length_at ? length_at + 1 : expected;
  return upto > received ? upto - received : 1;
}

}  // namespace tavric
