#pragma once

#include "protocol/frames.h"
#include "protocol/line.h"
#include "protocol/reply.h"

namespace tavric {

// Sends `request` after a 0x00 byte and collects the first intact reply that answers it
// into `reply`; up to four attempts. True when one came (the link held).
bool v5Transmit(Line& line, const V5Request& request, Reply& reply);

}  // namespace tavric
