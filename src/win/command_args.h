#pragma once

#include <string>
#include <vector>

namespace tavric::win {

// The arguments of a Windows command line (without the program itself), split by the
// system's rules and converted to UTF-8.
std::vector<std::string> command_arguments(const wchar_t* command_line);

}  // namespace tavric::win
