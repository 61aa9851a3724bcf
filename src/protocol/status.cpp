#include "protocol/status.h"

#include <cstdint>

#include "platform/calendar.h"
#include "protocol/legacy_exchange.h"
#include "protocol/v5_exchange.h"
#include "session/feedback.h"

namespace tavric {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kSecondsPerClockStep = 15;

int rx(const Session& s, int position) {
  return s.RxBuffer[static_cast<std::size_t>(position)];
}

// Big-endian 16-bit value at `position` and the one after it.
std::int32_t rx16(const Session& s, int position) {
  return rx(s, position) * 256 + rx(s, position + 1);
}

// The computer's clock minus `t`, in days.
float days_behind_pc(const Session& s, const LocalDateTime& t) {
  const std::int64_t diff = seconds_since_2000(s.p.clock.local_now()) - seconds_since_2000(t);
  return static_cast<float>(static_cast<double>(diff) / kSecondsPerDay);
}

// A legacy request of the status kind: command and four zeros, 14-byte reply.
bool status_request(Session& s, int command) {
  SendLegacyRequest(s, {static_cast<double>(command), 0, 0, 0, 0}, 14);
  return !s.NoComms;
}

}  // namespace

void GetStatus(Session& s) {
  ShowEvent(s, "Conecting to logger, please wait ...");
  if (status_request(s, 9)) {
    ShowEvent(s, "Requesting logger date, please wait ...");
    // Out-of-range months and days carry over, as the server's fields are taken as sent.
    s.LoggerDate = normalized_date(2000 + rx(s, 9), rx(s, 10), rx(s, 11));
    if (status_request(s, 11)) {
      ShowEvent(s, "Checking for new readings, please wait ...");
      const std::int64_t time_of_day = rx(s, 9) * 3600 + rx(s, 10) * 60 + rx(s, 11);
      s.LoggerDate = from_seconds_since_2000(seconds_since_2000(s.LoggerDate) + time_of_day);
      if (status_request(s, 1)) {
        s.NewReadings = rx16(s, 8);
        s.LoggerClockOffset = days_behind_pc(s, s.LoggerDate);
        return;
      }
    }
  }
  s.LoggerClockOffset = 0.0F;
  s.LoggerDate = zero_date_time();
  s.NewReadings = 0;
  ShowEvent(s, "No comms ...");
}

void v5GetStatus(Session& s) {
  ShowEvent(s, "Loading server status ...");
  v5Add(s, 16);
  v5Add(s, 0);
  v5Transmit(s);
  // A reply too short to hold the status fields is treated as no answer, so that no
  // field is read from an earlier reply, the check bytes or bytes after the reply. A v5
  // reply's data ends at position L + 4.
  if (!s.NoComms && s.RxBuffer[4] + 4 < 22) s.NoComms = true;
  if (s.NoComms) {
    ShowEvent(s, "Cannot load server status, no comms.");
    return;
  }
  s.WritePointer = rx16(s, 15);
  s.ReadPointer = rx16(s, 17);
  s.BufferSize = rx16(s, 19);
  s.NewReadings = rx16(s, 21);

  // The server clock counts 15-second steps since 2000; its top bit marks it unset,
  // and then the offset keeps its last value.
  s.LoggerDate = LocalDateTime{2000, 1, 1, 0, 0, 0};
  if (rx(s, 11) < 128) {
    const std::int64_t steps =
        ((static_cast<std::int64_t>(rx(s, 11)) * 256 + rx(s, 12)) * 256 + rx(s, 13)) * 256 +
        rx(s, 14);
    s.LoggerDate = from_seconds_since_2000(steps * kSecondsPerClockStep);
    s.LoggerClockOffset = days_behind_pc(s, s.LoggerDate);
  }
  ShowEvent(s, "Loaded server status OK.");
}

}  // namespace tavric
