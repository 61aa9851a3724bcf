#pragma once

#include <cstdint>
#include <initializer_list>

#include "session/session.h"

namespace tavric {

// Appends one payload byte to the legacy request (the first lands at position 7);
// a negative value appends 0, a value that does not fit leaves the position as it was.
void TxAdd(Session& s, double xByte);

// Completes the legacy frame, sends it and collects and checks the reply into
// RxBuffer: up to four attempts per cycle, up to three cycles for faulty replies.
// The outcome is NoComms; AnswerLength takes the length the reply announces.
void Transmit(Session& s, std::int16_t& AnswerLength, bool NoRetries, float timeout);

// One whole legacy request: TxAdd for each payload byte (command and four arguments),
// then Transmit with retries. The outcome is NoComms.
void SendLegacyRequest(Session& s, std::initializer_list<double> payload,
                       std::int16_t answer_length, float timeout = 0.0F);

}  // namespace tavric
