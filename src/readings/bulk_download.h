#pragma once

#include <cstdint>

#include "protocol/line.h"
#include "protocol/status.h"
#include "readings/record_writer.h"

namespace tavric {

// How a bulk download ended: whether the link held to the end, and how many of the
// readings the status told of were not written.
struct DumpResult {
  bool answered = false;
  std::int64_t missing = 0;
};

// v5 "Hi": fetches the readings from the read pointer on in one streamed transfer,
// writing each as it completes, then fetches singly every slot the stream did not prove.
DumpResult DumpAll(Line& line, RecordWriter& out, const ServerStatus& status);

// The readings a v5 status tells of from the read pointer on: the larger of NewReadings
// and the distance to the write pointer, at most the store's slots.
std::int32_t StreamLength(const ServerStatus& status);

}  // namespace tavric
