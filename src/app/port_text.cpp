#include "app/port_text.h"

#include <algorithm>
#include <array>

namespace tavric {
namespace {

std::string number_text(const PortEntry& p) {
  return p.number > 0 ? std::to_string(p.number) : "-";
}

std::string what_it_is(const PortEntry& p) {
  if (p.dangling) return "the link " + p.link + " leads nowhere";
  if (!p.description.empty()) return p.description;
  if (!p.link.empty()) return "linked as " + p.link;
  return "";
}

// "com3 /dev/ttyUSB0 (FT232R USB UART)"; a port without a number by its device.
std::string short_entry(const PortEntry& p) {
  // A Windows port's device is its COM name already.
  const bool named_by_number = p.number > 0 && p.device == "COM" + std::to_string(p.number);
  std::string text = p.number > 0 && !named_by_number ? "com" + std::to_string(p.number) + " " : "";
  text += p.device;
  const std::string what = what_it_is(p);
  if (!what.empty()) text += " (" + what + ")";
  return text;
}

std::string present_text(const std::vector<PortEntry>& present) {
  std::vector<std::string> usable;
  for (const PortEntry& p : present) {
    if (!p.dangling) usable.push_back(short_entry(p));
  }
  if (usable.empty()) return "No serial port was found on this computer.";
  std::string text = "Ports found: ";
  for (std::size_t i = 0; i < usable.size(); ++i) text += (i ? "; " : "") + usable[i];
  return text + ".";
}

}  // namespace

std::string port_failure_text(const PortFailure& f, const std::vector<PortEntry>& present) {
  const std::string device = f.device.empty() ? "the device" : f.device;
  switch (f.trouble) {
    case PortTrouble::Missing:
      return device + " is not there: is the cable or adapter plugged in?\r" +
             present_text(present);
    case PortTrouble::DanglingLink:
      return "The port's link " + f.link + " leads nowhere (" + device +
             " is gone, perhaps a simulator or adapter that was there before). Remove the "
             "link, or link it to the port you mean.\r" +
             present_text(present);
    case PortTrouble::NoPermission:
      if (f.needs_new_login) {
        return "Permission denied on " + device + ". You are in the group " + f.group +
               " that may use it, but this login started before you joined it: log out and "
               "in again.";
      }
      return "Permission denied on " + device + ": only members of the group " +
             (f.group.empty() ? std::string("dialout") : f.group) +
             " may use it. Join it once (sudo usermod -aG " +
             (f.group.empty() ? std::string("dialout") : f.group) +
             " $USER), then log out and in again.";
    case PortTrouble::InUse:
      return "Port in use: " + device + " is open in " +
             (f.holder.empty() ? std::string("another program") : f.holder) +
             ". Close the program that holds it, or choose another port.";
    case PortTrouble::NotSerial:
      return device + " is not a serial port.\r" + present_text(present);
    case PortTrouble::Other:
      break;
  }
  return device + ": " + (f.detail.empty() ? std::string("it would not open") : f.detail);
}

std::string port_list_text(const std::vector<PortEntry>& ports) {
  if (ports.empty()) return "No serial port was found on this computer.\n";
  std::vector<std::array<std::string, 4>> rows{{"Port", "Device", "Stable name", "What it is"}};
  for (const PortEntry& p : ports) {
    rows.push_back(
        {number_text(p), p.device, p.stable_name.empty() ? "-" : p.stable_name, what_it_is(p)});
  }
  std::array<std::size_t, 3> width{};
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < width.size(); ++c) width[c] = std::max(width[c], row[c].size());
  }
  std::string text;
  for (const auto& row : rows) {
    std::string line = std::string(width[0] - row[0].size(), ' ') + row[0];
    for (std::size_t c = 1; c < row.size(); ++c) {
      line += "  " + row[c];
      if (c < width.size()) line += std::string(width[c] - row[c].size(), ' ');
    }
    text += line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
  }
  return text;
}

bool asks_for_port(const std::string& title) {
  return title == "Serial Port" || title == "ERROR" || title == "No Comms";
}

std::string ports_found_note(const std::vector<PortEntry>& ports) {
  std::string text;
  for (const PortEntry& p : ports) {
    if (p.dangling) continue;
    text += (text.empty() ? "" : "\n") + short_entry(p);
  }
  return text.empty() ? "No serial port was found on this computer."
                      : "Ports found on this computer:\n" + text;
}

}  // namespace tavric
