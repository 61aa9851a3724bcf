#pragma once

#include <cstdint>

#include "protocol/frames.h"
#include "protocol/line.h"
#include "protocol/reply.h"

namespace tavric {

// Sends `request` and collects and checks the reply into `reply`: up to four attempts
// per cycle, up to three cycles for faulty replies. True when a sound reply came (the
// link held); AnswerLength takes the length the reply announces.
bool Transmit(Line& line, const LegacyRequest& request, std::int16_t& AnswerLength, bool NoRetries,
              float timeout, Reply& reply);

// One whole legacy request with retries: true when a sound reply came.
bool SendLegacyRequest(Line& line, const LegacyRequest& request, std::int16_t answer_length,
                       Reply& reply, float timeout = 0.0F);

}  // namespace tavric
