#pragma once

#include "session/session.h"

namespace tavric {

// Legacy status: date, time of day and count of new data blocks.
void GetStatus(Session& s);

// v5 status: store pointers, size, new readings and server clock in one exchange.
void v5GetStatus(Session& s);

}  // namespace tavric
