#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "protocol/line.h"
#include "readings/record.h"
#include "readings/record_writer.h"

namespace tavric {

// v5: fetches the reading in store slot RecNo (0..65535) and writes its lines. True when
// the server answered. Throws RunFault for a slot out of range or a record whose clock
// cannot be composed.
bool GetReading(Line& line, RecordWriter& out, std::int32_t RecNo);

// Legacy: fetches the RecNo-th data block of new readings (block RecNo + 63) and
// writes the lines of its four records. True when the server answered (and for a
// counter no block stands for, which asks nothing).
bool GetData(Line& line, RecordWriter& out, std::int32_t RecNo);

// The record of a v5 reading reply (a whole frame); nothing when the reply is too short
// to hold one.
std::optional<RecordBytes> ReadingRecordOf(ByteView reply);

// The four records of a legacy block reply (a whole frame); nothing when the reply is
// shorter than a block reply, an empty array when the block is empty.
std::optional<std::vector<RecordBytes>> BlockRecordsOf(ByteView reply);

}  // namespace tavric
