#include "link/open_port.h"

#include <string>

#include "platform/number_rule.h"
#include "platform/run_control.h"

namespace tavric {
namespace {

constexpr const char* kAskPort =
    "Please enter the serial port number the Tavric Probe Server is connected to.";

}  // namespace

void OpenPort(SerialPort& port, Feedback& feedback, Dialogs& dialogs, SettingsStore& settings,
              std::int16_t& PortNumber) {
  feedback.ShowEvent("Opening serial port ...");
  PortNumber = prompt_number16(settings.get("Port", "0"));
  if (PortNumber == 0) {
    PortNumber = prompt_number16(dialogs.prompt("Serial Port", kAskPort, ""));
    if (PortNumber == 0) throw ProgramEnd{};
  }
  // "0" until a port has opened, so that a launch that gives up asks again next time.
  settings.set("Port", "0");
  for (;;) {
    feedback.SetLed(0, "R");
    feedback.SetLed(1, "R");
    if (port.is_open()) port.close();
    port.set_comm_port(PortNumber);
    std::string error;
    const bool opened = port.open(error) && port.is_open();
    if (opened) break;
    const std::string text =
        "Cannot open com" + std::to_string(PortNumber) + "\r" + error + "\r" + kAskPort;
    PortNumber = prompt_number16(dialogs.prompt("ERROR", text, ""));
    if (PortNumber == 0) throw ProgramEnd{};
  }
  feedback.SetLed(0, "N");
  feedback.SetLed(1, "N");
  settings.set("Port", std::to_string(PortNumber));
  feedback.ShowEvent("Opened com" + std::to_string(PortNumber) + " OK");
}

}  // namespace tavric
