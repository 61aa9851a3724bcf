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

void send_text(Line& line, const std::string& text) {
  const Bytes bytes(text.begin(), text.end());
  line.port.output(bytes);
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

// A call delays the server's answers and its pauses by up to five seconds.
constexpr MonoTime kCallDelay = std::chrono::seconds(5);

[[noreturn]] void end_program() {
  throw ProgramEnd{kExitModemFailed};
}

}  // namespace

bool Modem::collect_modem_reply(float tmr) {
  const MonoTime start = line_.clock.monotonic();
  const MonoTime deadline = start + seconds_f(tmr);
  line_.feedback.SetLed(0, "N");
  ModemReply_.clear();
  std::string reply;
  while (line_.clock.monotonic() < deadline) {
    // Every text that ends the wait is at least two characters long: a lone byte (the
    // first of a reply line) is left to wait for its company.
    line_.port.wait_for_input(deadline, WindowEvents::Process, 2);
    if (line_.port.in_buffer_count() == 0) continue;
    line_.feedback.SetLed(1, "G");
    const Bytes chunk = line_.port.input();
    reply.append(chunk.begin(), chunk.end());
    ModemReply_ = reply;
    if (reply.find(ModemExpect_) != std::string::npos) return true;
    const std::string up = upper(reply);
    if (up.find("ERROR") != std::string::npos) return false;
    if (up.find("BUSY") != std::string::npos) return false;
    if (up.find("CARRIER") != std::string::npos) return false;
  }
  return false;
}

bool Modem::WaitModemComms(float tmr) {
  const bool came = collect_modem_reply(tmr);
  log_flush(line_.log);  // the modem's answer, whichever way the wait ended
  return came;
}

bool Modem::ModemComms(const std::string& cmd) {
  ModemExpect_ = "OK";
  line_.feedback.SetLed(0, "G");
  line_.feedback.SetLed(1, "R");
  // Every wrong PIN sent uses up one of the SIM's tries: a PIN is sent again only
  // when the modem said nothing at all.
  const bool is_pin = cmd.rfind("AT+CPIN=", 0) == 0;
  for (int attempt = 0; attempt < 3; ++attempt) {
    send_text(line_, cmd == "+++" ? cmd : cmd + "\r");
    if (WaitModemComms(1.0F)) {
      line_.feedback.SetLed(1, "N");
      return true;
    }
    if (is_pin && !ModemReply_.empty()) return false;
  }
  return false;
}

void Modem::ModemDisconnect() {
  line_.feedback.ShowEvent("Disconnecting modem ...");
  ModemComms("+++");
  ModemComms("ATH");
  line_.feedback.ShowEvent("Modem disconnected ...");
  line_.port.close();
  ModemConnected_ = 0;
  line_.call_delay = MonoTime{0};
}

std::optional<ServerStatus> Modem::ConnectThroughModem(float previous_offset) {
  if (!ModemComms("ATE0")) return std::nullopt;
  line_.feedback.ShowEvent("Detected cell modem ...");

  ModemExpect_ = "READY";
  line_.feedback.SetLed(0, "G");
  send_text(line_, "AT+CPIN?\r");
  if (!WaitModemComms(1.0F)) {
    // A SIM that asks for its PUK takes no PIN at all.
    if (ModemReply_.find("SIM PUK") != std::string::npos) {
      dialogs_.message("ERROR", kSimLockedText);
      throw ProgramEnd{kExitPinRefused};
    }
    const std::string cell(trimmed(settings_.get("Cell", ""), " "));
    std::string pin = dialogs_.prompt("Pin Code", "Please enter your cell pin code:", "");
    // Each wrong PIN uses up one of the SIM's three tries: one it refused is never sent
    // again. A person may give another; the same again (as a PIN file gives) ends the run.
    while (character_count(pin) == 4 && PinRefusedBefore(pins_, pin, cell)) {
      dialogs_.message("ERROR", kPinRefusedBeforeText);
      const std::string again = dialogs_.prompt("Pin Code", "Please enter your cell pin code:", "");
      if (again == pin) throw ProgramEnd{kExitPinRefused};
      pin = again;
    }
    if (character_count(pin) == 4) {
      if (!ModemComms("AT+CPIN=\"" + pin + "\"")) {
        if (upper(ModemReply_).find("ERROR") != std::string::npos) {
          RememberRefusedPin(pins_, pin, cell);
        }
        dialogs_.message("ERROR", "Pin code not accepted!");
        end_program();
      }
    }
  }
  line_.feedback.SetLed(1, "N");

  const std::string number =
      dialogs_.prompt("Cell Number", "Connect to cell number:", settings_.get("Cell", ""));
  if (number.empty()) end_program();
  settings_.set("Cell", std::string(trimmed(number, " ")));
  line_.feedback.ShowEvent("Dialing " + number + " ...");

  ModemExpect_ = "CONNECT";
  line_.feedback.SetLed(0, "G");
  send_text(line_, "ATD" + number + "\r");
  if (!WaitModemComms(60.0F)) {
    const std::string reply = ModemReply_;
    ModemComms("ATH");
    dialogs_.message("ERROR",
                     "Cannot connect to " + number + ".\r" + modem_text_for_message(reply));
    end_program();
  }
  ModemConnected_ = 1;
  line_.call_delay = kCallDelay;
  line_.feedback.ShowEvent("Connected to " + number);

  const std::optional<ServerStatus> status = v5GetStatus(line_, previous_offset);
  if (!status) {
    ModemDisconnect();
    dialogs_.message("No Comms", "Cannot connect to server, no comms.");
    end_program();
  }
  return status;
}

}  // namespace tavric
