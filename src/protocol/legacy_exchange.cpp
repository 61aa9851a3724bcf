#include "protocol/legacy_exchange.h"

#include "protocol/exchange_support.h"

namespace tavric {
namespace {

constexpr int kAttemptsPerCycle = 4;
constexpr int kCycles = 3;

// Takes every waiting byte: bytes before the start byte are noise, and a length of 14
// or more in the length byte replaces the length the caller expects. Gives how many it
// took.
std::size_t take_reply_bytes(Line& line, std::int16_t& AnswerLength, Reply& reply) {
  const Bytes bytes = line.port.input();
  for (const Byte b : bytes) {
    if (reply.size() == 0 && b != kStartByte) continue;
    reply.append(b);
    if (reply.size() == kLegacyLengthAt + 1 && b >= kLegacyShortestReply) AnswerLength = b;
  }
  return bytes.size();
}

bool complete(const Reply& reply, std::int16_t AnswerLength) {
  return AnswerLength <= 0 || reply.size() >= static_cast<std::size_t>(AnswerLength);
}

// Sends the frame once and collects the reply. True when AnswerLength bytes came.
bool attempt(Line& line, const Bytes& frame, std::int16_t& AnswerLength, MonoTime first_byte_wait,
             MonoTime gap_wait, Reply& reply) {
  SerialPort& port = line.port;
  line.feedback.SetLed(0, "G");
  line.feedback.yield();
  // Dropping and raising both control lines wakes the server's line interface.
  port.set_dtr(false);
  port.set_rts(false);
  port.set_dtr(true);
  port.set_rts(true);
  port.discard_input();
  port.output(frame);
  line.feedback.yield();

  MonoTime t0 = line.clock.monotonic();
  AttemptLimit limit =
      AttemptLimit::for_reply(line, t0 + first_byte_wait, kLegacyLongestReply, gap_wait);

  // The first byte is awaited without letting window events through.
  while (port.in_buffer_count() == 0 && elapsed_since(line, t0) < first_byte_wait) {
    port.wait_for_input(t0 + first_byte_wait, WindowEvents::Hold, 1);
  }

  // Each arrival restarts the allowance for the next one. The run wakes when the length
  // byte can be there, then when the rest can.
  t0 = line.clock.monotonic();
  reply.clear();
  for (;;) {
    const MonoTime deadline = std::min(t0 + gap_wait, limit.deadline());
    if (complete(reply, AnswerLength) || line.clock.monotonic() >= deadline) break;
    const std::size_t want =
        bytes_to_come(reply.size(), kLegacyLengthAt, static_cast<std::size_t>(AnswerLength));
    if (!await_input(line, deadline, WindowEvents::Process, want)) continue;
    line.feedback.SetLed(0, "N");
    line.feedback.SetLed(1, "G");
    const std::size_t taken = take_reply_bytes(line, AnswerLength, reply);
    t0 = port.last_arrival();
    if (limit.take(taken, t0) && !complete(reply, AnswerLength)) break;
  }
  return complete(reply, AnswerLength);
}

}  // namespace

bool Transmit(Line& line, const LegacyRequest& request, std::int16_t& AnswerLength, bool NoRetries,
              float timeout, Reply& reply) {
  reply.clear();
  bool answered = false;
  line.exchanging = true;
  line.feedback.SetLed(0, "G");
  const Bytes frame = request.frame();
  line.port.discard_input();

  if (line.port.is_open()) {
    const MonoTime first_byte_wait = seconds_f(static_cast<double>(timeout) + 0.3);
    const MonoTime gap_wait = seconds_f(static_cast<double>(timeout) + 0.2);
    for (int cycle = 0; cycle < kCycles; ++cycle) {
      for (int n = 0; n < kAttemptsPerCycle; ++n) {
        if (attempt(line, frame, AnswerLength, first_byte_wait, gap_wait, reply) || NoRetries)
          break;
        line.feedback.SetLed(1, "R");
      }
      // A cycle without a complete reply ends the exchange; a complete but faulty one
      // starts a new cycle.
      if (!complete(reply, AnswerLength)) break;
      reply.cut_to(static_cast<std::size_t>(std::max<std::int16_t>(AnswerLength, 0)));
      answered = LegacyReplySound(reply.bytes());
      if (answered) break;
    }
  }

  line.feedback.SetLed(1, answered ? "N" : "R");
  log_flush(line.log);
  line.exchanging = false;
  return answered;
}

bool SendLegacyRequest(Line& line, const LegacyRequest& request, std::int16_t answer_length,
                       Reply& reply, float timeout) {
  return Transmit(line, request, answer_length, false, timeout, reply);
}

}  // namespace tavric
