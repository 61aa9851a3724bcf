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

// The number a serial device has without any link, from its name: /dev/ttyS<k> is
// k + 1, /dev/ttyUSB<k> is 101 + k, /dev/ttyACM<k> is 201 + k (k below 100); 0 for
// every other device.
int system_port_number(const std::string& device);

// The device of serial port `number`: the device at the end of the links from comN in
// the settings folder when there is such a link, otherwise the device that has the
// number by its name (see system_port_number; numbers beyond those give
// /dev/ttyS<N-1>).
std::string port_device_path(int number, const std::filesystem::path& settings_folder);

// The comN link of the settings folder for port `number`, whether or not it leads
// anywhere; empty when there is none.
std::filesystem::path port_link(int number, const std::filesystem::path& settings_folder);

// The number under which `device` (a path, followed through its links) is reached: the
// lowest comN link of the settings folder that leads to it, otherwise its own number;
// 0 when it has none.
int port_number_of(const std::string& device, const std::filesystem::path& settings_folder);

// A device named on the command line that has no number of its own is this port for
// the run.
inline constexpr int kNamedDevicePort = 999;

// Makes port `number` lead to `device` for the rest of this launch, ahead of any link:
// a device named on the command line stays the one opened, whatever the settings
// folder holds.
void name_port_device(int number, const std::string& device);

// Whether `dir` is where installed programs live: a folder of the system (/usr, /opt,
// /bin, /sbin, /lib, /etc, /snap, /boot and their subfolders), or a bin or sbin folder
// of any installation prefix.
bool is_system_folder(const std::filesystem::path& dir);

// The folder that receives the output files: the program's own folder when it is a
// folder of its own (writable, owned by the user running it, and no system folder),
// otherwise $XDG_DATA_HOME/RNQ7 (default ~/.local/share/RNQ7). So an installed program
// never writes beside itself, whoever runs it.
std::filesystem::path output_dir(const std::filesystem::path& program_dir, const Environment& env);

}  // namespace tavric
