#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

#include "platform/bytes.h"
#include "session/session.h"

namespace tavric {

// Time since `since` on the monotonic clock of the run.
inline MonoTime elapsed_since(const Session& s, MonoTime since) {
  return s.p.clock.monotonic() - since;
}

// How long `bytes` bytes take at the speed the port is set to.
inline MonoTime line_time(const Session& s, std::size_t bytes) {
  return line_time(settings_baud(s.p.port.settings()), bytes);
}

// What one attempt may take from a line that never goes quiet (a stuck modem, a device
// at another speed, endless noise), whose every arrival would restart the reply wait
// for ever: a number of bytes, past which the attempt has failed as on a silent line,
// so a noisy line costs about what a silent one does. The time allowed follows the
// arrivals: each one moves the deadline to the rest of the bytes at the line speed
// plus the waits, so a line slower than its speed that keeps coming is waited for.
class AttemptLimit {
 public:
  AttemptLimit(const Session& s, MonoTime start, std::size_t bytes, MonoTime waits)
      : baud_(settings_baud(s.p.port.settings())),
        waits_(waits),
        bytes_left_(bytes),
        deadline_(start + line_time(baud_, bytes) + waits) {}

  // For a reply of at most `longest` bytes: room for it twice over (noise or a faulty
  // reply before the good one), and four reply waits, so that a reply coming in a few
  // pieces, each after a pause just short of the wait, still fits.
  static AttemptLimit for_reply(const Session& s, MonoTime start, std::size_t longest,
                                MonoTime wait) {
    return AttemptLimit(s, start, 2 * longest, 4 * wait);
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
inline bool await_input(Session& s, MonoTime deadline, WindowEvents events, std::size_t want) {
  if (s.p.port.in_buffer_count() < want) s.p.port.wait_for_input(deadline, events, want);
  return s.p.port.in_buffer_count() > 0;
}

// What is still to come of a reply whose length stands at position `length_at`: up to
// that position first, then the rest of `expected`.
inline std::size_t bytes_to_come(int received, int length_at, int expected) {
  const int upto = received < length_at ? length_at : expected;
  return static_cast<std::size_t>(std::max(upto - received, 1));
}

// Puts a reply byte at the next position of RxBuffer. A stream longer than the buffer
// keeps being counted, but its bytes past the end are not kept.
inline void append_reply_byte(Session& s, Byte b) {
  if (s.RxLength < std::numeric_limits<std::int16_t>::max()) ++s.RxLength;
  if (s.RxLength >= 1 && s.RxLength < static_cast<int>(s.RxBuffer.size())) {
    s.RxBuffer[static_cast<std::size_t>(s.RxLength)] = b;
  }
}

// Advances TxLength to the next request position, at least `first` (the first payload
// position), and returns it; returns 0 when it lies past the buffer's end.
inline std::size_t next_request_position(Session& s, std::int16_t first) {
  if (s.TxLength < std::numeric_limits<std::int16_t>::max()) ++s.TxLength;
  if (s.TxLength < first) s.TxLength = first;
  const auto pos = static_cast<std::size_t>(s.TxLength);
  return pos < s.TxBuffer.size() ? pos : 0;
}

// TxBuffer positions 1..TxLength as line bytes (each element holds one byte value).
inline Bytes request_bytes(const Session& s) {
  Bytes out;
  const int last = std::min<int>(s.TxLength, static_cast<int>(s.TxBuffer.size()) - 1);
  for (int i = 1; i <= last; ++i) {
    out.push_back(static_cast<Byte>(s.TxBuffer[static_cast<std::size_t>(i)] & 0xFF));
  }
  return out;
}

}  // namespace tavric
