#pragma once

#include "session/session.h"

namespace tavric {

// Opens the serial port on the saved port number, asking the user for one when none
// is known and again for as long as the port cannot be opened. Throws ProgramEnd
// when the user gives up (0 or nothing).
void OpenPort(Session& s);

}  // namespace tavric
