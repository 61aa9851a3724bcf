#pragma once

#include <cstdint>

#include "session/session.h"

namespace tavric {

void SetLoggerDate(Session& s);    // legacy: date, then time of day
void v5SetLoggerDate(Session& s);  // v5: the clock value in 15-second steps
void ClearReadings(Session& s);    // legacy: empties the store
void v5ClearReadings(Session& s);  // v5: empties the store
// Legacy: fetches data block `DataBlockNumber` into RxBuffer, asking again (four
// requests in all) while the server answers with another block.
void GetProbeDataBlock(Session& s, std::int16_t DataBlockNumber);

}  // namespace tavric
