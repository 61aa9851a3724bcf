#pragma once

#include <cstdint>

#include "protocol/frames.h"
#include "protocol/line.h"
#include "protocol/reply.h"

namespace tavric {

// Each gives whether the server answered (the link held).
bool SetLoggerDate(Line& line);    // legacy: date, then time of day
bool v5SetLoggerDate(Line& line);  // v5: the clock value in 15-second steps
bool ClearReadings(Line& line);    // legacy: empties the store
bool v5ClearReadings(Line& line);  // v5: empties the store

// Legacy: fetches data block `DataBlockNumber` into `reply`, asking again (four requests
// in all) while the server answers with another block. True when the block came.
bool GetProbeDataBlock(Line& line, std::int16_t DataBlockNumber, Reply& reply);

// The request for data block `DataBlockNumber`.
LegacyRequest DataBlockRequest(std::int16_t DataBlockNumber);

}  // namespace tavric
