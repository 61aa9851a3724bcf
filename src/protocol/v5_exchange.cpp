#include "protocol/v5_exchange.h"

#include <algorithm>
#include <limits>

#include "protocol/crc.h"
#include "protocol/exchange_support.h"
#include "session/feedback.h"

namespace tavric {
namespace {

constexpr std::int16_t kStartByte = 0x5E;
constexpr std::int16_t kFirstPayload = 6;
constexpr std::int16_t kAnyAddress = 0xFF;
constexpr int kAttempts = 4;
constexpr int kLengthPosition = 4;
constexpr int kFrameOverhead = 6;      // start, address, length, check bytes
constexpr int kShortestExpected = 10;  // until the length byte has come
constexpr int kLongestFrame = 255 + kFrameOverhead;

void complete_frame(Session& s) {
  s.TxBuffer[1] = kStartByte;
  s.TxBuffer[2] = s.TxBuffer[3] = kAnyAddress;
  s.TxBuffer[4] = static_cast<std::int16_t>(s.TxLength - 4);
  s.TxBuffer[5] = 0;
  GenerateCRC(s);
}

// An intact reply must come from the address asked (0xFF asks any), carry status 1
// and echo the command.
bool reply_answers_request(const Session& s) {
  const auto& tx = s.TxBuffer;
  const auto& rx = s.RxBuffer;
  if (tx[2] != kAnyAddress && rx[2] != tx[2]) return false;
  if (tx[3] != kAnyAddress && rx[3] != tx[3]) return false;
  return rx[5] == 1 && rx[6] == tx[6];
}

// Collects reply bytes until an intact reply is complete or the line stays quiet for
// `wait`. A faulty frame is dropped and the hunt for the next start byte goes on.
void collect_reply(Session& s, MonoTime wait) {
  int expected = kShortestExpected;
  std::int32_t crc = 0xFFFF;
  s.RxLength = 0;
  MonoTime t0 = s.p.clock.monotonic();
  AttemptLimit limit = AttemptLimit::for_reply(s, t0, kLongestFrame, wait);
  for (;;) {
    const MonoTime deadline = std::min(t0 + wait, limit.deadline());
    if (s.RxLength >= expected || s.p.clock.monotonic() >= deadline) break;
    const std::size_t want = bytes_to_come(s.RxLength, kLengthPosition, expected);
    if (!await_input(s, deadline, WindowEvents::Process, want)) continue;
    SetLed(s, 0, "N");
    SetLed(s, 1, "G");
    const Bytes bytes = s.p.port.input();
    for (const Byte b : bytes) {
      if (s.RxLength == 0) {
        if (b == kStartByte) {
          s.RxLength = 1;
          crc = 0xFFFF;
        }
        continue;
      }
      append_reply_byte(s, b);
      if (s.RxLength == kLengthPosition) expected = b + kFrameOverhead;
      update_crc(crc, b);
      if (s.RxLength == expected) {
        s.NoComms = crc != 0 || !reply_answers_request(s);
        if (s.NoComms) s.RxLength = 0;
      }
    }
    t0 = s.p.port.last_arrival();
    if (limit.take(bytes.size(), t0) && s.RxLength < expected) break;
  }
}

}  // namespace

void v5Add(Session& s, int xByte) {
  const std::size_t pos = next_request_position(s, kFirstPayload);
  if (pos != 0 && xByte >= std::numeric_limits<std::int16_t>::min() &&
      xByte <= std::numeric_limits<std::int16_t>::max()) {
    s.TxBuffer[pos] = static_cast<std::int16_t>(xByte);
  }
  SetLed(s, 0, "G");
}

void v5Transmit(Session& s) {
  // A modem call delays the server's answer and its pauses by up to five seconds more.
  const MonoTime wait = seconds_f(s.ModemConnected * 5 + 0.5);
  s.NoComms = true;
  SerialPort& port = s.p.port;
  if (port.is_open()) {
    complete_frame(s);
    const Bytes frame = request_bytes(s);
    static constexpr Byte kLeadByte[] = {0x00};
    for (int n = 0; n < kAttempts && s.NoComms; ++n) {
      SetLed(s, 0, "G");
      port.input();  // stale bytes would be taken for the reply
      NextDumpImg(s);
      port.output(kLeadByte);
      port.output(frame);
      collect_reply(s, wait);
    }
  }
  s.TxLength = 0;
  SetLed(s, 0, "N");
  SetLed(s, 1, s.NoComms ? "R" : "N");
  log_flush(s.p.log);
}

}  // namespace tavric
