#pragma once

#include <cstdint>

#include <optional>

#include "protocol/line.h"

namespace tavric {

// With "Hi" selected (`speed_hi`), moves a legacy server and the port to 56000 bit/s
// (Baud 1) and notes it in SpeedRaised; with "Lo" it does nothing. Any other value
// brings both back to 9600 bit/s after a Baud 1 that went ahead, whatever the option
// shows by then. Gives whether the server answered its last request; nothing when it
// asked nothing.
std::optional<bool> SetBaudrate(Line& line, bool& SpeedRaised, bool speed_hi, std::int16_t Baud);

// A legacy "Hi" download cut short (a closed window, a kill, a power cut) leaves the
// server at 56000 bit/s, where no request at 9600 reaches it. When nothing answered at
// 9600, asks once at 56000; a server that answers there is told to go back to 9600, the
// port follows, and true is given: the run then goes on as usual, its next status
// request deciding whether the link holds.
bool RecoverStrandedServer(Line& line);

}  // namespace tavric
