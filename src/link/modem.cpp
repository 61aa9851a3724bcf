#include "link/modem.h"

#include <algorithm>
#include <cctype>

#include "link/modem_text.h"
#include "link/pin_memory.h"
#include "platform/run_control.h"
#include "platform/trimmed.h"
#include "protocol/status.h"
#include "session/exit_status.h"
#include "session/feedback.h"

namespace tavric {
namespace {

std::string upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

void send_text(Session& s, const std::string& text) {
  const Bytes bytes(text.begin(), text.end());
  s.p.port.output(bytes);
}

// Counts characters, not bytes, so that a PIN typed with any keyboard is measured right.
std::size_t character_count(const std::string& utf8) {
  return static_cast<std::size_t>(
      std::count_if(utf8.begin(), utf8.end(), [](unsigned char c) { return (c & 0xC0) != 0x80; }));
}

constexpr const char* kSimLockedText =
    "The SIM card is locked and asks for its PUK: no PIN was sent.\rUnlock it with its PUK "
    "in a phone, then run again.";
constexpr const char* kPinRefusedBeforeText =
    "Pin code not sent: the SIM refused it before, and three wrong PIN codes lock the "
    "SIM.\rGive the right PIN code (for a scheduled run: put it in the PIN file).";

[[noreturn]] void end_program() {
  throw ProgramEnd{kExitModemFailed};
}

bool collect_modem_reply(Session& s, float tmr) {
  const MonoTime start = s.p.clock.monotonic();
  const MonoTime deadline = start + seconds_f(tmr);
  SetLed(s, 0, "N");
  s.ModemReply.clear();
  std::string reply;
  while (s.p.clock.monotonic() < deadline) {
    // Every text that ends the wait is at least two characters long: a lone byte (the
    // first of a reply line) is left to wait for its company.
    s.p.port.wait_for_input(deadline, WindowEvents::Process, 2);
    if (s.p.port.in_buffer_count() == 0) continue;
    SetLed(s, 1, "G");
    const Bytes chunk = s.p.port.input();
    reply.append(chunk.begin(), chunk.end());
    s.ModemReply = reply;
    if (reply.find(s.ModemExpect) != std::string::npos) return true;
    const std::string up = upper(reply);
    if (up.find("ERROR") != std::string::npos) return false;
    if (up.find("BUSY") != std::string::npos) return false;
    if (up.find("CARRIER") != std::string::npos) return false;
  }
  return false;
}

}  // namespace

bool WaitModemComms(Session& s, float tmr) {
  const bool came = collect_modem_reply(s, tmr);
  log_flush(s.p.log);  // the modem's answer, whichever way the wait ended
  return came;
}

bool ModemComms(Session& s, const std::string& cmd) {
  s.ModemExpect = "OK";
  SetLed(s, 0, "G");
  SetLed(s, 1, "R");
  // Every wrong PIN sent uses up one of the SIM's tries: a PIN is sent again only
  // when the modem said nothing at all.
  const bool is_pin = cmd.rfind("AT+CPIN=", 0) == 0;
  for (int attempt = 0; attempt < 3; ++attempt) {
    send_text(s, cmd == "+++" ? cmd : cmd + "\r");
    if (WaitModemComms(s, 1.0F)) {
      SetLed(s, 1, "N");
      return true;
    }
    if (is_pin && !s.ModemReply.empty()) return false;
  }
  return false;
}

void ModemDisconnect(Session& s) {
  ShowEvent(s, "Disconnecting modem ...");
  ModemComms(s, "+++");
  ModemComms(s, "ATH");
  ShowEvent(s, "Modem disconnected ...");
  s.p.port.close();
  s.ModemConnected = 0;
}

bool ConnectThroughModem(Session& s) {
  if (!ModemComms(s, "ATE0")) return false;
  ShowEvent(s, "Detected cell modem ...");

  s.ModemExpect = "READY";
  SetLed(s, 0, "G");
  send_text(s, "AT+CPIN?\r");
  if (!WaitModemComms(s, 1.0F)) {
    // A SIM that asks for its PUK takes no PIN at all.
    if (s.ModemReply.find("SIM PUK") != std::string::npos) {
      s.p.dialogs.message("ERROR", kSimLockedText);
      throw ProgramEnd{kExitPinRefused};
    }
    const std::string cell(trimmed(s.p.settings.get("Cell", ""), " "));
    std::string pin = s.p.dialogs.prompt("Pin Code", "Please enter your cell pin code:", "");
    // Each wrong PIN uses up one of the SIM's three tries: one it refused is never sent
    // again. A person may give another; the same again (as a PIN file gives) ends the run.
    while (character_count(pin) == 4 && PinRefusedBefore(s, pin, cell)) {
      s.p.dialogs.message("ERROR", kPinRefusedBeforeText);
      const std::string again =
          s.p.dialogs.prompt("Pin Code", "Please enter your cell pin code:", "");
      if (again == pin) throw ProgramEnd{kExitPinRefused};
      pin = again;
    }
    if (character_count(pin) == 4) {
      if (!ModemComms(s, "AT+CPIN=\"" + pin + "\"")) {
        if (upper(s.ModemReply).find("ERROR") != std::string::npos) {
          RememberRefusedPin(s, pin, cell);
        }
        s.p.dialogs.message("ERROR", "Pin code not accepted!");
        end_program();
      }
    }
  }
  SetLed(s, 1, "N");

  const std::string number =
      s.p.dialogs.prompt("Cell Number", "Connect to cell number:", s.p.settings.get("Cell", ""));
  if (number.empty()) end_program();
  s.p.settings.set("Cell", std::string(trimmed(number, " ")));
  ShowEvent(s, "Dialing " + number + " ...");

  s.ModemExpect = "CONNECT";
  SetLed(s, 0, "G");
  send_text(s, "ATD" + number + "\r");
  if (!WaitModemComms(s, 60.0F)) {
    const std::string reply = s.ModemReply;
    ModemComms(s, "ATH");
    s.p.dialogs.message("ERROR",
                        "Cannot connect to " + number + ".\r" + modem_text_for_message(reply));
    end_program();
  }
  s.ModemConnected = 1;
  ShowEvent(s, "Connected to " + number);

  v5GetStatus(s);
  if (s.NoComms) {
    ModemDisconnect(s);
    s.p.dialogs.message("No Comms", "Cannot connect to server, no comms.");
    end_program();
  }
  return true;
}

}  // namespace tavric
