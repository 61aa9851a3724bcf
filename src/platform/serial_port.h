#pragma once

#include <string>

#include "platform/bytes.h"
#include "platform/clock.h"

namespace tavric {

inline constexpr const char* kSettings9600 = "9600,n,8,1";
inline constexpr const char* kSettings56000 = "56000,n,8,1";

// The line speed of settings such as "9600,n,8,1"; 9600 when it names none.
inline int settings_baud(const std::string& settings) {
  int baud = 0;
  for (const char c : settings) {
    if (c < '0' || c > '9' || baud > 10'000'000) break;
    baud = baud * 10 + (c - '0');
  }
  return baud > 0 ? baud : 9600;
}

// How long `bytes` bytes take on a line at `baud`: a start bit, 8 data bits, a stop bit.
inline MonoTime line_time(int baud, std::size_t bytes) {
  return MonoTime(static_cast<MonoTime::rep>(bytes) * 10'000'000'000LL / baud);
}

// Whether a wait lets the window handle its pending events meanwhile.
enum class WindowEvents { Process, Hold };

// The one serial port of the program, with the operations the run relies on.
// Bytes are delivered as they arrive; `input` may return only part of a reply.
class SerialPort {
 public:
  virtual ~SerialPort() = default;

  virtual void set_comm_port(int number) = 0;                  // selects the port of the next open
  virtual void set_settings(const std::string& settings) = 0;  // "9600,n,8,1" etc.
  // The settings of the next open; once open, the speed is the one the driver really
  // took, read back from it (a driver may take a speed it does not know as another).
  virtual std::string settings() const = 0;
  // Opens the port; on failure returns false and describes the reason in `error`.
  virtual bool open(std::string& error) = 0;
  virtual void close() = 0;  // never fails; closing a closed port does nothing
  virtual bool is_open() const = 0;
  virtual void set_dtr(bool on) = 0;
  virtual void set_rts(bool on) = 0;
  virtual std::size_t in_buffer_count() = 0;  // received bytes waiting
  virtual void discard_input() = 0;           // drop the received bytes waiting
  virtual void output(ByteView bytes) = 0;    // bytes go out in the order given
  virtual Bytes input() = 0;                  // take every byte waiting
  // Sleeps until at least `bytes` received bytes are waiting (1 when 0 is given) or
  // `deadline` (monotonic) has passed; bytes that come meanwhile wake nobody. With
  // WindowEvents::Process the window keeps handling its events meanwhile, and
  // WindowClosed is thrown once the user has closed it.
  virtual void wait_for_input(MonoTime deadline, WindowEvents events, std::size_t bytes) = 0;
  // When the newest received byte arrived (monotonic), whether taken yet or not; the
  // time the port was opened before any has.
  virtual MonoTime last_arrival() const = 0;
};

}  // namespace tavric
