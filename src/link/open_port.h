#pragma once

#include <cstdint>

#include "platform/dialogs.h"
#include "platform/serial_port.h"
#include "platform/settings_store.h"
#include "session/feedback.h"

namespace tavric {

// Opens the serial port on the saved port number, asking the user for one when none
// is known and again for as long as the port cannot be opened; PortNumber follows the
// number tried. Throws ProgramEnd when the user gives up (0 or nothing).
void OpenPort(SerialPort& port, Feedback& feedback, Dialogs& dialogs, SettingsStore& settings,
              std::int16_t& PortNumber);

}  // namespace tavric
