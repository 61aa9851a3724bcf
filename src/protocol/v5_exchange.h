#pragma once

#include "session/session.h"

namespace tavric {

// Appends one byte to the v5 request (the command lands at position 6).
void v5Add(Session& s, int xByte);

// Completes the v5 frame with its CRC, sends it after a 0x00 byte and collects the
// first intact reply into RxBuffer; up to four attempts. The outcome is NoComms.
void v5Transmit(Session& s);

}  // namespace tavric
