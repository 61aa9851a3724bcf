#include "protocol/requests.h"

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

}  // namespace

void SetLoggerDate(Session& s) {
  s.p.window.yield();
  const auto send_date = [&](const LocalDateTime& t) {
    SendLegacyRequest(s,
                      {10, 255, static_cast<double>(t.year - 2000), static_cast<double>(t.month),
                       static_cast<double>(t.day)},
                      kShortReply);
  };
  LocalDateTime date = s.p.clock.local_now();
  send_date(date);
  if (s.NoComms) return;
  // The time of day is read afresh, so that it is not late by the date exchange (a
  // second or two with retries). Should the date have turned meanwhile, it is sent
  // again first, so that date and time describe one moment even at midnight.
  LocalDateTime now = s.p.clock.local_now();
  for (int tries = 0; tries < 3 && !same_day(now, date); ++tries) {
    date = now;
    send_date(date);
    if (s.NoComms) return;
    now = s.p.clock.local_now();
  }
  SendLegacyRequest(s,
                    {12, 254, static_cast<double>(now.hour), static_cast<double>(now.minute),
                     static_cast<double>(now.second)},
                    kShortReply);
}

void v5SetLoggerDate(Session& s) {
  // Sent big-endian as the low 32 bits of the step count.
  const auto steps = static_cast<std::uint32_t>(v5_clock_steps(s.p.clock.local_now()));
  v5Add(s, 10);
  for (int shift = 24; shift >= 0; shift -= 8) v5Add(s, static_cast<int>((steps >> shift) & 0xFF));
  v5Transmit(s);
}

void ClearReadings(Session& s) {
  SendLegacyRequest(s, {3, 0, 0, 0, 0}, kShortReply);
}

void v5ClearReadings(Session& s) {
  v5Add(s, 9);
  v5Transmit(s);
}

void GetProbeDataBlock(Session& s, std::int16_t DataBlockNumber) {
  for (int n = 0; n < kBlockRequests; ++n) {
    // A negative block number sends zeros where its parts come out negative.
    SendLegacyRequest(s,
                      {0, static_cast<double>(DataBlockNumber / 256),
                       static_cast<double>(DataBlockNumber % 256), 0, 0},
                      kBlockReply);
    // A failed exchange has had its retries; only a good reply for another block is
    // asked for again. The request stays in TxBuffer after sending.
    if (s.NoComms) return;
    if (s.RxBuffer[7] == s.TxBuffer[7] && s.RxBuffer[8] == s.TxBuffer[8] &&
        s.RxBuffer[9] == s.TxBuffer[9]) {
      return;
    }
  }
  s.NoComms = true;
}

}  // namespace tavric
