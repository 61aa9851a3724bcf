#pragma once

#include <cstddef>

#include "platform/bytes.h"
#include "platform/clock.h"

namespace tavric::sim {

// Time one byte takes on the line at `baud` (start bit, 8 data bits, stop bit).
inline MonoTime byte_time(int baud) {
  return MonoTime(static_cast<MonoTime::rep>(10'000'000'000LL / (baud > 0 ? baud : 9600)));
}

// The far end of a serial line as a device attached to it sees it. Times are on
// the line's monotonic clock (virtual in the tests, real in the standalone program).
class LineEnd {
 public:
  virtual ~LineEnd() = default;
  virtual MonoTime now() const = 0;
  // How long `count` bytes take on this line at `baud`; zero on a line that does not
  // pace its bytes.
  virtual MonoTime line_time(int baud, std::size_t count) const {
    return byte_time(baud) * static_cast<MonoTime::rep>(count);
  }
  // Queues `bytes` towards the client. They go out no earlier than `at`, after
  // whatever is still queued, at the device's line speed (10 bits a byte).
  virtual void send(ByteView bytes, MonoTime at) = 0;
  // The speed the device sends and listens at; bytes sent at another speed on
  // either side arrive garbled.
  virtual void set_device_baud(int baud, MonoTime from) = 0;
  // Throws away every byte still queued towards the client.
  virtual void drop_queued() = 0;
};

// A device at the far end of the line: a simulated server, or a modem in front of one.
class LineDevice {
 public:
  virtual ~LineDevice() = default;
  virtual void attach(LineEnd& line) = 0;
  // Bytes from the client; `at` is when the last of them has arrived.
  virtual void receive(ByteView bytes, MonoTime at) = 0;
  virtual void control_lines(bool /*dtr*/, bool /*rts*/, MonoTime /*at*/) {}
};

}  // namespace tavric::sim
