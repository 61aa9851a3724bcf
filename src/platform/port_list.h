#pragma once

#include <string>
#include <vector>

namespace tavric {

// A serial port the system has, as a listing shows it.
struct PortEntry {
  int number = 0;           // its number for the prompt and --port; 0: none
  std::string device;       // the device the program opens
  std::string stable_name;  // a name that stays with the adapter (by-id); empty: none
  std::string description;  // what it is, where the system knows; empty: unknown
  std::string link;         // the comN link that gives it its number; empty: none
  bool dangling = false;    // the link leads nowhere
};

// Why a port would not open, in the terms a remedy needs.
enum class PortTrouble {
  Missing,       // no such device
  DanglingLink,  // the port's comN link leads nowhere
  NoPermission,  // the user may not use the device
  InUse,         // another program has it open
  NotSerial,     // the device is no serial port
  Other,         // anything else: the system's own words
};

struct PortFailure {
  PortTrouble trouble = PortTrouble::Other;
  std::string device;  // the device behind the port number
  std::string link;    // the comN link, when the number came from one
  std::string holder;  // InUse: the program that has it, where the system can tell
  std::string group;   // NoPermission: the group that may use the device
  // NoPermission: the user is in that group already, but this login started before.
  bool needs_new_login = false;
  std::string detail;  // the system's own text
};

// The serial ports of the machine and what stops one from opening.
class PortList {
 public:
  virtual ~PortList() = default;
  virtual std::vector<PortEntry> ports() = 0;
  // Why port `number` did not open, given the error the port reported.
  virtual PortFailure diagnose(int number, const std::string& error) = 0;
};

}  // namespace tavric
