#pragma once

#include <string>
#include <vector>

#include "platform/port_list.h"

namespace tavric {

// Why a port did not open, in words a field user understands, with what to do about
// it: the middle part of the ERROR prompt (lines broken by carriage returns).
std::string port_failure_text(const PortFailure& failure, const std::vector<PortEntry>& present);

// The ports found, one a line with its number, device, stable name and what it is,
// under a heading; for --list-ports.
std::string port_list_text(const std::vector<PortEntry>& ports);

// Whether the prompt titled `title` asks for a port number ("Serial Port", "ERROR",
// "No Comms").
bool asks_for_port(const std::string& title);

// The ports found, shortly, for a note below a prompt that asks for a port number.
std::string ports_found_note(const std::vector<PortEntry>& ports);

}  // namespace tavric
