#include "app/explaining_serial_port.h"

#include "app/port_text.h"

namespace tavric {

bool ExplainingSerialPort::open(std::string& error) {
  if (port_.open(error)) return true;
  // A port that is open already is the run's own doing, not the user's to mend.
  if (port_.is_open()) return false;
  error = port_failure_text(ports_.diagnose(number_, error), ports_.ports());
  return false;
}

}  // namespace tavric
