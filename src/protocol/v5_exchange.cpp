#include "protocol/v5_exchange.h"

#include <algorithm>

#include "protocol/crc.h"
#include "protocol/exchange_support.h"

namespace tavric {
namespace {

constexpr int kAttempts = 4;
constexpr std::size_t kShortestExpected = 10;  // until the length byte has come
constexpr std::size_t kLongestFrame = 255 + kV5FrameOverhead;

// Collects reply bytes until an intact reply is complete or the line stays quiet for
// `wait`. A faulty frame is dropped and the hunt for the next start byte goes on.
bool collect_reply(Line& line, const Bytes& request, MonoTime wait, Reply& reply) {
  bool answered = false;
  std::size_t expected = kShortestExpected;
  std::int32_t crc = 0xFFFF;
  reply.clear();
  MonoTime t0 = line.clock.monotonic();
  AttemptLimit limit = AttemptLimit::for_reply(line, t0, kLongestFrame, wait);
  for (;;) {
    const MonoTime deadline = std::min(t0 + wait, limit.deadline());
    if (reply.size() >= expected || line.clock.monotonic() >= deadline) break;
    const std::size_t want = bytes_to_come(reply.size(), kV5LengthAt, expected);
    if (!await_input(line, deadline, WindowEvents::Process, want)) continue;
    line.feedback.SetLed(0, "N");
    line.feedback.SetLed(1, "G");
    const Bytes bytes = line.port.input();
    for (const Byte b : bytes) {
      if (reply.size() == 0) {
        if (b == kStartByte) {
          reply.append(b);
          crc = 0xFFFF;
        }
        continue;
      }
      reply.append(b);
      if (reply.size() == kV5LengthAt + 1) expected = b + kV5FrameOverhead;
      update_crc(crc, b);
      if (reply.size() == expected) {
        answered = crc == 0 && V5ReplyAnswers(request, reply.bytes());
        if (!answered) reply.clear();
      }
    }
    t0 = line.port.last_arrival();
    if (limit.take(bytes.size(), t0) && reply.size() < expected) break;
  }
  return answered;
}

}  // namespace

bool v5Transmit(Line& line, const V5Request& request, Reply& reply) {
  const MonoTime wait = line.call_delay + seconds_f(0.5);
  bool answered = false;
  line.exchanging = true;
  SerialPort& port = line.port;
  line.feedback.SetLed(0, "G");
  reply.clear();
  if (port.is_open()) {
    const Bytes frame = request.frame();
    static constexpr Byte kLeadByte[] = {0x00};
    for (int n = 0; n < kAttempts && !answered; ++n) {
      line.feedback.SetLed(0, "G");
      port.input();  // stale bytes would be taken for the reply
      line.feedback.NextDumpImg();
      port.output(kLeadByte);
      port.output(frame);
      answered = collect_reply(line, frame, wait, reply);
    }
  }
  line.feedback.SetLed(0, "N");
  line.feedback.SetLed(1, answered ? "N" : "R");
  log_flush(line.log);
  line.exchanging = false;
  return answered;
}

}  // namespace tavric
