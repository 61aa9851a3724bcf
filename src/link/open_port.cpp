#include "link/open_port.h"

#include <string>

#include "platform/number_rule.h"
#include "platform/run_control.h"
#include "session/feedback.h"

namespace tavric {
namespace {

constexpr const char* kAskPort =
    "Please enter the serial port number the Tavric Probe Server is connected to.";

}  // namespace

void OpenPort(Session& s) {
  ShowEvent(s, "Opening serial port ...");
  s.PortNumber = prompt_number16(s.p.settings.get("Port", "0"));
  if (s.PortNumber == 0) {
    s.PortNumber = prompt_number16(s.p.dialogs.prompt("Serial Port", kAskPort, ""));
    if (s.PortNumber == 0) throw ProgramEnd{};
  }
  // "0" until a port has opened, so that a launch that gives up asks again next time.
  s.p.settings.set("Port", "0");
  for (;;) {
    SetLed(s, 0, "R");
    SetLed(s, 1, "R");
    if (s.p.port.is_open()) s.p.port.close();
    s.p.port.set_comm_port(s.PortNumber);
    std::string error;
    const bool opened = s.p.port.open(error) && s.p.port.is_open();
    if (opened) break;
    const std::string text =
        "Cannot open com" + std::to_string(s.PortNumber) + "\r" + error + "\r" + kAskPort;
    s.PortNumber = prompt_number16(s.p.dialogs.prompt("ERROR", text, ""));
    if (s.PortNumber == 0) throw ProgramEnd{};
  }
  SetLed(s, 0, "N");
  SetLed(s, 1, "N");
  s.p.settings.set("Port", std::to_string(s.PortNumber));
  ShowEvent(s, "Opened com" + std::to_string(s.PortNumber) + " OK");
}

}  // namespace tavric
