#pragma once

#include <cstdint>

#include "session/session.h"

namespace tavric {

// With "Hi" selected, moves a legacy server and the port to 56000 bit/s (Baud 1)
// or back to 9600 bit/s (any other value); with "Lo" it does nothing.
void SetBaudrate(Session& s, std::int16_t Baud);

}  // namespace tavric
