#pragma once

#include <string>

#include "session/session.h"

namespace tavric {

// Collects the modem's reply for at most `tmr` seconds; true when ModemExpect came,
// false on a reply holding "ERROR", "BUSY" or "CARRIER", or when time is up.
bool WaitModemComms(Session& s, float tmr);

// Sends `cmd` (with a carriage return, except "+++") up to three times until the
// modem confirms with "OK". A refused PIN is never sent a second time.
bool ModemComms(Session& s, const std::string& cmd);

// Escapes to command mode, hangs up and closes the port; errors are ignored.
void ModemDisconnect(Session& s);

// Looks for a cell modem on the open port. False when none answers; otherwise it
// unlocks the SIM, dials the number the user gives and loads the v5 status through
// the call, returning true, or ends the program (ProgramEnd) when that fails.
bool ConnectThroughModem(Session& s);

}  // namespace tavric
