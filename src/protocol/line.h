#pragma once

#include <cstdint>

#include "platform/clock.h"
#include "platform/run_log.h"
#include "platform/serial_port.h"
#include "session/feedback.h"

namespace tavric {

// What an exchange with the server works through: the port, the run's clock, the lamps
// it lights and the trace it flushes once an exchange.
struct Line {
  SerialPort& port;
  Clock& clock;
  Feedback& feedback;
  RunLog* log = nullptr;
  // 1 while a modem call carries the line: the server's answers and pauses then take up
  // to five seconds longer.
  std::int16_t ModemConnected = 0;
};

}  // namespace tavric
