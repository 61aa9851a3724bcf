#pragma once

#include <cstdint>

#include "session/session.h"

namespace tavric {

// v5 "Hi": fetches the readings from ReadPointer on in one streamed transfer, writing
// each as it completes, then fetches singly every slot the stream did not prove. The
// readings it could not bring are counted missing (NoteMissing).
void DumpAll(Session& s);

// The readings a v5 status tells of from the read pointer on: the larger of NewReadings
// and the distance to the write pointer, at most the store's slots.
std::int32_t StreamLength(const Session& s);

}  // namespace tavric
