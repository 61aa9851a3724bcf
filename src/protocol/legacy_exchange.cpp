#include "protocol/legacy_exchange.h"

#include <cmath>
#include <limits>

#include "protocol/exchange_support.h"
#include "session/feedback.h"

namespace tavric {
namespace {

constexpr std::int16_t kStartByte = 0x5E;
constexpr std::int16_t kEndByte = 0x5F;
constexpr std::int16_t kFirstPayload = 7;
constexpr int kAttemptsPerCycle = 4;
constexpr int kCycles = 3;
constexpr int kShortestReply = 14;
constexpr int kLongestReply = 142;
constexpr int kLengthPosition = 5;

// Sum of TxBuffer or RxBuffer values over positions first..last.
std::int32_t sum_of(const std::array<std::int16_t, 1001>& buffer, int first, int last) {
  std::int32_t sum = 0;
  for (int i = first; i <= last && i < static_cast<int>(buffer.size()); ++i) {
    if (i >= 0) sum += buffer[static_cast<std::size_t>(i)];
  }
  return sum;
}

// Fills in the header around the payload and appends the checksum, the end byte and
// the three trailing zeros.
void complete_frame(Session& s) {
  s.TxBuffer[1] = kStartByte;
  s.TxBuffer[2] = s.TxBuffer[3] = s.TxBuffer[4] = 0xFF;
  s.TxBuffer[5] = static_cast<std::int16_t>(s.TxLength + 3);
  s.TxBuffer[6] = 0;
  const std::int32_t sum = sum_of(s.TxBuffer, 2, s.TxLength);
  TxAdd(s, sum / 256);
  TxAdd(s, sum % 256);
  TxAdd(s, kEndByte);
  for (int i = 0; i < 3; ++i) TxAdd(s, 0);
}

// Takes every waiting byte: bytes before the start byte are noise, and a length of 14
// or more in byte 5 replaces the length the caller expects. Gives how many it took.
std::size_t take_reply_bytes(Session& s, std::int16_t& AnswerLength) {
  const Bytes bytes = s.p.port.input();
  for (const Byte b : bytes) {
    if (s.RxLength == 0) {
      if (b == kStartByte) s.RxLength = 1;
      continue;
    }
    append_reply_byte(s, b);
    if (s.RxLength == kLengthPosition && b >= kShortestReply) AnswerLength = b;
  }
  return bytes.size();
}

// Sends the frame once and collects the reply. True when AnswerLength positions came.
bool attempt(Session& s, std::int16_t& AnswerLength, MonoTime first_byte_wait, MonoTime gap_wait) {
  SerialPort& port = s.p.port;
  SetLed(s, 0, "G");
  s.p.window.yield();
  // Dropping and raising both control lines wakes the server's line interface.
  port.set_dtr(false);
  port.set_rts(false);
  port.set_dtr(true);
  port.set_rts(true);
  port.discard_input();
  port.output(request_bytes(s));
  s.p.window.yield();

  MonoTime t0 = s.p.clock.monotonic();
  AttemptLimit limit = AttemptLimit::for_reply(s, t0 + first_byte_wait, kLongestReply, gap_wait);

  // The first byte is awaited without letting window events through.
  while (port.in_buffer_count() == 0 && elapsed_since(s, t0) < first_byte_wait) {
    port.wait_for_input(t0 + first_byte_wait, WindowEvents::Hold, 1);
  }

  // Each arrival restarts the allowance for the next one. The run wakes when the length
  // byte can be there, then when the rest can.
  t0 = s.p.clock.monotonic();
  s.RxLength = 0;
  for (;;) {
    const MonoTime deadline = std::min(t0 + gap_wait, limit.deadline());
    if (s.RxLength >= AnswerLength || s.p.clock.monotonic() >= deadline) break;
    const std::size_t want = bytes_to_come(s.RxLength, kLengthPosition, AnswerLength);
    if (!await_input(s, deadline, WindowEvents::Process, want)) continue;
    SetLed(s, 0, "N");
    SetLed(s, 1, "G");
    const std::size_t taken = take_reply_bytes(s, AnswerLength);
    t0 = port.last_arrival();
    if (limit.take(taken, t0) && s.RxLength < AnswerLength) break;
  }
  return s.RxLength >= AnswerLength;
}

// A complete reply is sound with status 1, a length of 14..142, the end byte last and
// a matching sum (high byte first) over the positions after the start byte.
bool reply_sound(const Session& s) {
  const int n = s.RxLength;
  if (n < kShortestReply || n > kLongestReply) return false;
  const auto& rx = s.RxBuffer;
  if (rx[6] != 1 || rx[static_cast<std::size_t>(n)] != kEndByte) return false;
  const std::int32_t sum = sum_of(rx, 2, n - 3);
  return rx[static_cast<std::size_t>(n - 2)] == sum / 256 &&
         rx[static_cast<std::size_t>(n - 1)] == sum % 256;
}

}  // namespace

void TxAdd(Session& s, double xByte) {
  const std::size_t pos = next_request_position(s, kFirstPayload);
  // Whole numbers round half to even (the default rounding mode); a value that does not
  // fit the element leaves the position as it was.
  const double whole = xByte < 0 ? 0.0 : std::nearbyint(xByte);
  if (pos != 0 && whole <= std::numeric_limits<std::int16_t>::max()) {
    s.TxBuffer[pos] = static_cast<std::int16_t>(whole);
  }
  SetLed(s, 0, "G");
}

void Transmit(Session& s, std::int16_t& AnswerLength, bool NoRetries, float timeout) {
  s.RxLength = 0;
  s.NoComms = true;
  complete_frame(s);
  s.p.port.discard_input();

  if (s.p.port.is_open()) {
    const MonoTime first_byte_wait = seconds_f(static_cast<double>(timeout) + 0.3);
    const MonoTime gap_wait = seconds_f(static_cast<double>(timeout) + 0.2);
    for (int cycle = 0; cycle < kCycles; ++cycle) {
      for (int n = 0; n < kAttemptsPerCycle; ++n) {
        if (attempt(s, AnswerLength, first_byte_wait, gap_wait) || NoRetries) break;
        SetLed(s, 1, "R");
      }
      // A cycle without a complete reply ends the exchange; a complete but faulty one
      // starts a new cycle.
      if (s.RxLength < AnswerLength) break;
      s.RxLength = AnswerLength;  // bytes beyond the announced length are ignored
      s.NoComms = !reply_sound(s);
      if (!s.NoComms) break;
    }
  }

  s.TxLength = 0;
  SetLed(s, 1, s.NoComms ? "R" : "N");
  log_flush(s.p.log);
}

void SendLegacyRequest(Session& s, std::initializer_list<double> payload,
                       std::int16_t answer_length, float timeout) {
  for (const double b : payload) TxAdd(s, b);
  Transmit(s, answer_length, false, timeout);
}

}  // namespace tavric
