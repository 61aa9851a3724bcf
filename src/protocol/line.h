#pragma once

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
  // How much longer the server's answers and pauses may take than on a direct line (a
  // modem call delays them).
  MonoTime call_delay{0};
  // An exchange has sent its request and not yet had its verdict. A run ended meanwhile
  // (the window closed) has no answer to rely on: its link counts as lost.
  bool exchanging = false;
};

}  // namespace tavric
