#pragma once

#include "platform/port_list.h"

namespace tavric::win {

// The COM ports Windows has, from the registry's list of serial devices
// (HARDWARE\DEVICEMAP\SERIALCOMM): each port's number, described by the name Device
// Manager shows and a USB adapter's vendor and product where SetupAPI knows the port,
// otherwise by the kernel's name of the device that serves it.
class WinPortList : public PortList {
 public:
  std::vector<PortEntry> ports() override;
  PortFailure diagnose(int number, const std::string& error) override;
};

}  // namespace tavric::win
