#pragma once

#include <cstdint>
#include <optional>

#include "platform/bytes.h"
#include "platform/calendar.h"
#include "protocol/line.h"

namespace tavric {

// What a server tells of its store and clock. A legacy server tells no pointers: its
// new readings are the count of new data blocks.
struct ServerStatus {
  std::int32_t ReadPointer = 0;
  std::int32_t WritePointer = 0;
  std::int32_t BufferSize = 0;
  std::int32_t NewReadings = 0;
  LocalDateTime LoggerDate = zero_date_time();
  // The computer's clock minus the server's, in days.
  float LoggerClockOffset = 0.0F;
};

// Legacy status: date, time of day and count of new data blocks, in three exchanges.
// Nothing when any of them fails.
std::optional<ServerStatus> GetStatus(Line& line);

// v5 status: store pointers, size, new readings and server clock in one exchange.
// Nothing when it fails. A server whose clock is unset keeps `previous_offset`.
std::optional<ServerStatus> v5GetStatus(Line& line, float previous_offset);

// The parts of the legacy status replies (whole frames, counted from 0): the date reply,
// the time-of-day reply and the count reply, read with the computer's clock at `pc_now`.
ServerStatus DecodeLegacyStatus(ByteView date_reply, ByteView time_reply, ByteView count_reply,
                                const LocalDateTime& pc_now);

// The v5 status reply (a whole frame) read with the computer's clock at `pc_now`; nothing
// when the reply is too short to hold the status fields.
std::optional<ServerStatus> DecodeV5Status(ByteView reply, const LocalDateTime& pc_now,
                                           float previous_offset);

}  // namespace tavric
