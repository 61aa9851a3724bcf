#include "link/line_speed.h"

#include <string>

#include "protocol/legacy_exchange.h"
#include "session/feedback.h"

namespace tavric {
namespace {

constexpr std::int16_t kReplyLength = 14;
// The server answers at the old speed and may take a little longer to do so.
constexpr float kSpeedReplyExtra = 0.3F;

void speed_request(Session& s, std::int16_t code) {
  SendLegacyRequest(s, {14, static_cast<double>(code), 0, 0, 0}, kReplyLength, kSpeedReplyExtra);
}

// Reopens the port at `settings`; a failed open leaves it closed, and the next
// exchange then fails.
void reopen_port(Session& s, const char* settings) {
  s.p.port.close();
  s.p.port.set_settings(settings);
  std::string error;
  s.p.port.open(error);
}

// Whether the open port really runs at 56000 bit/s. A driver may take a speed it does
// not know as another (Wine takes 56000 as 38400); the port's settings then name the
// speed it took, and a server moved to 56000 could not be heard.
bool runs_at_high_speed(Session& s) {
  const int baud = settings_baud(s.p.port.settings());
  if (s.p.port.is_open() && baud == 56000) return true;
  log_note(s.p.log, s.p.port.is_open() ? "the port runs at " + std::to_string(baud) +
                                             " bit/s when set to 56000 bit/s"
                                       : std::string("the port does not open at 56000 bit/s"));
  return false;
}

// Tries the port at 56000 bit/s before the server is asked to move there, and leaves
// it at 9600 bit/s either way.
bool port_takes_high_speed(Session& s) {
  reopen_port(s, kSettings56000);
  const bool takes = runs_at_high_speed(s);
  reopen_port(s, kSettings9600);
  return takes;
}

}  // namespace

void SetBaudrate(Session& s, std::int16_t Baud) {
  // The option may have changed during the download: the change back follows what was
  // done to the line, not what the option shows by then.
  if (Baud == 1) {
    if (!s.p.window.speed_hi()) return;
    // A port that cannot follow the server to 56000 bit/s would lose it there: the
    // download then goes on at 9600 bit/s, and the server is never asked to move.
    if (!port_takes_high_speed(s)) {
      log_note(s.p.log, "the download stays at 9600 bit/s");
      return;
    }
    s.SpeedRaised = true;
  } else {
    if (!s.SpeedRaised) return;
    s.SpeedRaised = false;
  }
  speed_request(s, Baud);
  if (!s.NoComms) {
    reopen_port(s, Baud == 1 ? kSettings56000 : kSettings9600);
    // Proves that the server really listens at the new speed.
    if (Baud == 1) speed_request(s, Baud);
  }
  if (s.NoComms) {
    // Either side may be at the high speed now: both go back to 9600 bit/s.
    reopen_port(s, kSettings9600);
    speed_request(s, 0);
  }
}

bool RecoverStrandedServer(Session& s) {
  log_note(s.p.log, "no answer at 9600 bit/s: asking a legacy server at 56000 bit/s");
  reopen_port(s, kSettings56000);
  // A port that does not run at 56000 bit/s cannot reach a server there.
  if (!runs_at_high_speed(s)) {
    reopen_port(s, kSettings9600);
    s.NoComms = true;
    return false;
  }
  // The date request, once, as the legacy status request begins.
  for (const double b : {9.0, 0.0, 0.0, 0.0, 0.0}) TxAdd(s, b);
  std::int16_t length = kReplyLength;
  Transmit(s, length, /*NoRetries=*/true, 0.0F);
  const bool found = !s.NoComms;
  if (found) {
    log_note(s.p.log, "a legacy server answered at 56000 bit/s: returning it to 9600 bit/s");
    ShowEvent(s, "Server found at 56000 bit/s, returning it to 9600 ...");
    speed_request(s, 0);
    if (s.NoComms) log_note(s.p.log, "the server did not confirm the return to 9600 bit/s");
  }
  reopen_port(s, kSettings9600);
  s.NoComms = true;  // the status request at 9600 decides, as on every attempt
  return found;
}

}  // namespace tavric
