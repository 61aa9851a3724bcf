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

// True when received bytes are waiting; if none are, first sleeps until some arrive
// or `deadline` passes.
inline bool await_input(Session& s, MonoTime deadline, WindowEvents events) {
  if (s.p.port.in_buffer_count() > 0) return true;
  s.p.port.wait_for_input(deadline, events, 1);
  return s.p.port.in_buffer_count() > 0;
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
