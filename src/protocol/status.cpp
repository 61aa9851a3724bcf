#include "protocol/status.h"

#include "protocol/legacy_exchange.h"
#include "protocol/v5_exchange.h"

namespace tavric {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kSecondsPerClockStep = 15;
constexpr std::size_t kLegacyFieldsAt = 8;  // the three date or time fields
constexpr std::size_t kLegacyCountAt = 7;
constexpr std::size_t kV5StatusEnd = 22;  // the status fields end before this position

int at(ByteView reply, std::size_t i) {
  return i < reply.size() ? reply[i] : 0;
}

// Big-endian 16-bit value at `i` and the one after it.
std::int32_t at16(ByteView reply, std::size_t i) {
  return at(reply, i) * 256 + at(reply, i + 1);
}

// `pc_now` minus `t`, in days.
float days_behind(const LocalDateTime& pc_now, const LocalDateTime& t) {
  const std::int64_t diff = seconds_since_2000(pc_now) - seconds_since_2000(t);
  return static_cast<float>(static_cast<double>(diff) / kSecondsPerDay);
}

// A legacy request of the status kind: command and four zeros, 14-byte reply.
bool status_request(Line& line, int command, Reply& reply) {
  return SendLegacyRequest(line, {static_cast<double>(command), 0, 0, 0, 0}, 14, reply);
}

}  // namespace

ServerStatus DecodeLegacyStatus(ByteView date_reply, ByteView time_reply, ByteView count_reply,
                                const LocalDateTime& pc_now) {
  const std::size_t f = kLegacyFieldsAt;
  ServerStatus status;
  // Out-of-range months and days carry over, as the server's fields are taken as sent.
  const LocalDateTime date =
      normalized_date(2000 + at(date_reply, f), at(date_reply, f + 1), at(date_reply, f + 2));
  const std::int64_t time_of_day =
      at(time_reply, f) * 3600 + at(time_reply, f + 1) * 60 + at(time_reply, f + 2);
  status.LoggerDate = from_seconds_since_2000(seconds_since_2000(date) + time_of_day);
  status.NewReadings = at16(count_reply, kLegacyCountAt);
  status.LoggerClockOffset = days_behind(pc_now, status.LoggerDate);
  return status;
}

std::optional<ServerStatus> DecodeV5Status(ByteView reply, const LocalDateTime& pc_now,
                                           float previous_offset) {
  // A reply too short to hold the status fields is no answer, so that no field is read
  // from its check bytes or from bytes after it.
  if (V5DataEnd(reply) < kV5StatusEnd) return std::nullopt;
  ServerStatus status;
  status.WritePointer = at16(reply, 14);
  status.ReadPointer = at16(reply, 16);
  status.BufferSize = at16(reply, 18);
  status.NewReadings = at16(reply, 20);

  // The server clock counts 15-second steps since 2000; its top bit marks it unset,
  // and then the offset keeps its last value.
  status.LoggerDate = LocalDateTime{2000, 1, 1, 0, 0, 0};
  status.LoggerClockOffset = previous_offset;
  if (at(reply, 10) < 128) {
    std::int64_t steps = 0;
    for (std::size_t i = 10; i < 14; ++i) steps = steps * 256 + at(reply, i);
    status.LoggerDate = from_seconds_since_2000(steps * kSecondsPerClockStep);
    status.LoggerClockOffset = days_behind(pc_now, status.LoggerDate);
  }
  return status;
}

std::optional<ServerStatus> GetStatus(Line& line) {
  Feedback& feedback = line.feedback;
  feedback.ShowEvent("Conecting to logger, please wait ...");
  Reply date, time, count;
  if (status_request(line, 9, date)) {
    feedback.ShowEvent("Requesting logger date, please wait ...");
    if (status_request(line, 11, time)) {
      feedback.ShowEvent("Checking for new readings, please wait ...");
      if (status_request(line, 1, count)) {
        return DecodeLegacyStatus(date.bytes(), time.bytes(), count.bytes(),
                                  line.clock.local_now());
      }
    }
  }
  feedback.ShowEvent("No comms ...");
  return std::nullopt;
}

std::optional<ServerStatus> v5GetStatus(Line& line, float previous_offset) {
  line.feedback.ShowEvent("Loading server status ...");
  V5Request request;
  request.v5Add(16);
  request.v5Add(0);
  Reply reply;
  std::optional<ServerStatus> status;
  if (v5Transmit(line, request, reply)) {
    status = DecodeV5Status(reply.bytes(), line.clock.local_now(), previous_offset);
  }
  line.feedback.ShowEvent(status ? "Loaded server status OK."
                                 : "Cannot load server status, no comms.");
  return status;
}

}  // namespace tavric
