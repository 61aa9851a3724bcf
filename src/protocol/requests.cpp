#include "protocol/requests.h"

#include "platform/calendar.h"
#include "protocol/legacy_exchange.h"
#include "protocol/v5_exchange.h"

namespace tavric {
namespace {

constexpr std::int16_t kShortReply = 14;
constexpr std::int16_t kBlockReply = 142;
constexpr int kBlockRequests = 4;

bool same_day(const LocalDateTime& a, const LocalDateTime& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day;
}

bool short_request(Line& line, const LegacyRequest& request) {
  Reply reply;
  return SendLegacyRequest(line, request, kShortReply, reply);
}

bool v5_command(Line& line, const V5Request& request) {
  Reply reply;
  return v5Transmit(line, request, reply);
}

}  // namespace

bool SetLoggerDate(Line& line) {
  line.feedback.yield();
  const auto send_date = [&](const LocalDateTime& t) {
    return short_request(line, {10, 255, static_cast<double>(t.year - 2000),
                                static_cast<double>(t.month), static_cast<double>(t.day)});
  };
  LocalDateTime date = line.clock.local_now();
  if (!send_date(date)) return false;
  // The time of day is read afresh, so that it is not late by the date exchange (a
  // second or two with retries). Should the date have turned meanwhile, it is sent
  // again first, so that date and time describe one moment even at midnight.
  LocalDateTime now = line.clock.local_now();
  for (int tries = 0; tries < 3 && !same_day(now, date); ++tries) {
    date = now;
    if (!send_date(date)) return false;
    now = line.clock.local_now();
  }
  return short_request(line, {12, 254, static_cast<double>(now.hour),
                              static_cast<double>(now.minute), static_cast<double>(now.second)});
}

bool v5SetLoggerDate(Line& line) {
  // Sent big-endian as the low 32 bits of the step count.
  const auto steps = static_cast<std::uint32_t>(v5_clock_steps(line.clock.local_now()));
  V5Request request;
  request.v5Add(10);
  for (int shift = 24; shift >= 0; shift -= 8)
    request.v5Add(static_cast<int>((steps >> shift) & 0xFF));
  return v5_command(line, request);
}

bool ClearReadings(Line& line) {
  return short_request(line, {3, 0, 0, 0, 0});
}

bool v5ClearReadings(Line& line) {
  V5Request request;
  request.v5Add(9);
  return v5_command(line, request);
}

LegacyRequest DataBlockRequest(std::int16_t DataBlockNumber) {
  // A negative block number sends zeros where its parts come out negative.
  return {0, static_cast<double>(DataBlockNumber / 256), static_cast<double>(DataBlockNumber % 256),
          0, 0};
}

bool GetProbeDataBlock(Line& line, std::int16_t DataBlockNumber, Reply& reply) {
  const Bytes request = DataBlockRequest(DataBlockNumber).frame();
  for (int n = 0; n < kBlockRequests; ++n) {
    // A failed exchange has had its retries; only a good reply for another block is
    // asked for again.
    if (!SendLegacyRequest(line, DataBlockRequest(DataBlockNumber), kBlockReply, reply)) {
      return false;
    }
    const std::size_t at = kLegacyPayloadAt;
    if (reply[at] == request[at] && reply[at + 1] == request[at + 1] &&
        reply[at + 2] == request[at + 2]) {
      return true;
    }
  }
  return false;
}

}  // namespace tavric
