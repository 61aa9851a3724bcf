#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace tavric {

// The environment variables the locations depend on (XDG_CONFIG_HOME, XDG_DATA_HOME,
// XDG_STATE_HOME, HOME), passed in so that the rules can be tested.
using Environment = std::map<std::string, std::string>;
Environment process_environment();

// The folder of the saved settings: $XDG_CONFIG_HOME/RNQ7 (default ~/.config/RNQ7).
std::filesystem::path settings_dir(const Environment& env);

// The per-user state folder: $XDG_STATE_HOME/RNQ7 (default ~/.local/state/RNQ7).
std::filesystem::path state_dir(const Environment& env);

// The folder of the traces: $XDG_STATE_HOME/RNQ7/traces (default
// ~/.local/state/RNQ7/traces).
std::filesystem::path trace_dir(const Environment& env);

// The device of serial port `number`: the device at the end of the links from comN in
// the settings folder when there is such a link, otherwise /dev/ttyS<N-1>.
std::string port_device_path(int number, const std::filesystem::path& settings_folder);

// The folder that receives the output files: the program's own folder when it is
// writable, otherwise $XDG_DATA_HOME/RNQ7 (default ~/.local/share/RNQ7).
std::filesystem::path output_dir(const std::filesystem::path& program_dir, const Environment& env);

}  // namespace tavric
