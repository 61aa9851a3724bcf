#pragma once

#include <filesystem>
#include <string>

#include "platform/port_list.h"

namespace tavric {

// Why `device` would not open, as the system tells it: `link` is the comN link the
// port number came from (empty when none), `error` what the open reported.
PortFailure diagnose_device(const std::string& device, const std::filesystem::path& link,
                            const std::string& error);

// The programs that have `device` open, as "NAME (process PID)" joined by "and", where
// the system lets this user see them; empty otherwise.
std::string device_holder(const std::string& device);

}  // namespace tavric
