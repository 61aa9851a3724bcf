#pragma once

#include <cstdint>

#include "session/session.h"

namespace tavric {

// v5: fetches the reading in store slot RecNo (0..65535) and writes its lines.
// Throws RunFault for a slot out of range or a record whose clock cannot be composed.
void GetReading(Session& s, std::int32_t RecNo);

// Legacy: fetches the RecNo-th data block of new readings (block RecNo + 63) and
// writes the lines of its four records.
void GetData(Session& s, std::int32_t RecNo);

}  // namespace tavric
