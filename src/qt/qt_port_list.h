#pragma once

#include <filesystem>

#include "platform/port_list.h"

namespace tavric::qt {

// The serial ports of a Linux machine: those QSerialPortInfo finds and those the comN
// links of the settings folder lead to, each with its number, its stable name under
// `by_id` (/dev/serial/by-id) and what the system says it is.
class QtPortList : public PortList {
 public:
  explicit QtPortList(std::filesystem::path settings_folder,
                      std::filesystem::path by_id = "/dev/serial/by-id")
      : settings_folder_(std::move(settings_folder)), by_id_(std::move(by_id)) {}

  std::vector<PortEntry> ports() override;
  PortFailure diagnose(int number, const std::string& error) override;

 private:
  std::filesystem::path settings_folder_;
  std::filesystem::path by_id_;
};

}  // namespace tavric::qt
