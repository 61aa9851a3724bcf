#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "link/pin_memory.h"
#include "platform/dialogs.h"
#include "platform/settings_store.h"
#include "protocol/line.h"
#include "protocol/status.h"

namespace tavric {

// A cell modem on the line: its dialogue, and the SIM's PIN and the call it makes to
// reach the server. It keeps the modem's last reply and the answer it waits for.
class Modem {
 public:
  Modem(Line& line, Dialogs& dialogs, SettingsStore& settings, PinMemory& pins)
      : line_(line), dialogs_(dialogs), settings_(settings), pins_(pins) {}

  // Collects the modem's reply for at most `tmr` seconds; true when the expected answer
  // came, false on a reply holding "ERROR", "BUSY" or "CARRIER", or when time is up.
  bool WaitModemComms(float tmr);
  // Sets the answer the next wait looks for ("OK", "READY", "CONNECT").
  void expect(std::string answer) { ModemExpect_ = std::move(answer); }

  // Sends `cmd` (with a carriage return, except "+++") up to three times until the
  // modem confirms with "OK". A refused PIN is never sent a second time.
  bool ModemComms(const std::string& cmd);

  // Escapes to command mode, hangs up and closes the port; errors are ignored.
  void ModemDisconnect();

  // Looks for a cell modem on the open port. Nothing when none answers; otherwise it
  // unlocks the SIM, dials the number the user gives and loads the v5 status through
  // the call, giving it, or ends the program (ProgramEnd) when that fails.
  // `previous_offset` is the server clock offset known so far.
  std::optional<ServerStatus> ConnectThroughModem(float previous_offset);

  const std::string& ModemReply() const { return ModemReply_; }
  // A call to the server is up.
  bool connected() const { return ModemConnected_ == 1; }

 private:
  bool collect_modem_reply(float tmr);

  Line& line_;
  Dialogs& dialogs_;
  SettingsStore& settings_;
  PinMemory& pins_;
  std::string ModemReply_;
  std::string ModemExpect_;
  std::int16_t ModemConnected_ = 0;
};

}  // namespace tavric
