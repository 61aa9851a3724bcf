#include "link/line_speed.h"

#include <string>

#include "protocol/legacy_exchange.h"

namespace tavric {
namespace {

constexpr std::int16_t kReplyLength = 14;
// The server answers at the old speed and may take a little longer to do so.
constexpr float kSpeedReplyExtra = 0.3F;

bool speed_request(Line& line, std::int16_t code) {
  Reply reply;
  return SendLegacyRequest(line, {14, static_cast<double>(code), 0, 0, 0}, kReplyLength, reply,
                           kSpeedReplyExtra);
}

// Reopens the port at `settings`; a failed open leaves it closed, and the next
// exchange then fails.
void reopen_port(Line& line, const char* settings) {
  line.port.close();
  line.port.set_settings(settings);
  std::string error;
  line.port.open(error);
}

// Whether the open port really runs at 56000 bit/s. A driver may take a speed it does
// not know as another (Wine takes 56000 as 38400); the port's settings then name the
// speed it took, and a server moved to 56000 could not be heard.
bool runs_at_high_speed(Line& line) {
  const int baud = settings_baud(line.port.settings());
  if (line.port.is_open() && baud == 56000) return true;
  log_note(line.log, line.port.is_open() ? "the port runs at " + std::to_string(baud) +
                                               " bit/s when set to 56000 bit/s"
                                         : std::string("the port does not open at 56000 bit/s"));
  return false;
}

// Tries the port at 56000 bit/s before the server is asked to move there, and leaves
// it at 9600 bit/s either way.
bool port_takes_high_speed(Line& line) {
  reopen_port(line, kSettings56000);
  const bool takes = runs_at_high_speed(line);
  reopen_port(line, kSettings9600);
  return takes;
}

}  // namespace

std::optional<bool> SetBaudrate(Line& line, bool& SpeedRaised, bool speed_hi, std::int16_t Baud) {
  // The option may have changed during the download: the change back follows what was
  // done to the line, not what the option shows by then.
  if (Baud == 1) {
    if (!speed_hi) return std::nullopt;
    // A port that cannot follow the server to 56000 bit/s would lose it there: the
    // download then goes on at 9600 bit/s, and the server is never asked to move.
    if (!port_takes_high_speed(line)) {
      log_note(line.log, "the download stays at 9600 bit/s");
      return std::nullopt;
    }
    SpeedRaised = true;
  } else {
    if (!SpeedRaised) return std::nullopt;
    SpeedRaised = false;
  }
  bool answered = speed_request(line, Baud);
  if (answered) {
    reopen_port(line, Baud == 1 ? kSettings56000 : kSettings9600);
    // Proves that the server really listens at the new speed.
    if (Baud == 1) answered = speed_request(line, Baud);
  }
  if (!answered) {
    // Either side may be at the high speed now: both go back to 9600 bit/s.
    reopen_port(line, kSettings9600);
    answered = speed_request(line, 0);
  }
  return answered;
}

bool RecoverStrandedServer(Line& line) {
  log_note(line.log, "no answer at 9600 bit/s: asking a legacy server at 56000 bit/s");
  reopen_port(line, kSettings56000);
  // A port that does not run at 56000 bit/s cannot reach a server there.
  if (!runs_at_high_speed(line)) {
    reopen_port(line, kSettings9600);
    return false;
  }
  // The date request, once, as the legacy status request begins.
  std::int16_t length = kReplyLength;
  Reply reply;
  const bool found = Transmit(line, {9, 0, 0, 0, 0}, length, /*NoRetries=*/true, 0.0F, reply);
  if (found) {
    log_note(line.log, "a legacy server answered at 56000 bit/s: returning it to 9600 bit/s");
    line.feedback.ShowEvent("Server found at 56000 bit/s, returning it to 9600 ...");
    if (!speed_request(line, 0)) {
      log_note(line.log, "the server did not confirm the return to 9600 bit/s");
    }
  }
  reopen_port(line, kSettings9600);
  // The status request at 9600 decides whether the link holds, as on every attempt.
  return found;
}

}  // namespace tavric
