#pragma once

#include "session/session.h"

namespace tavric {

// Finds the server on the port, directly or through a cell modem, asking the user for
// another port for as long as none answers. Returns true for a legacy server. Ends the
// program (ProgramEnd) when the user names no port or the modem dialogue fails.
bool ConnectionLoop(Session& s);

}  // namespace tavric
