#pragma once

#include <filesystem>
#include <string>

namespace tavric::win {

// The folder that holds the running program.
std::filesystem::path program_dir();

// The user's local application data folder (%LOCALAPPDATA%), or empty when unknown.
std::filesystem::path local_app_data();

// The per-user folder of the program: %LOCALAPPDATA%\RNQ7.
std::filesystem::path state_dir(const std::filesystem::path& local_app_data);

// The folder of the traces: %LOCALAPPDATA%\RNQ7\traces.
std::filesystem::path trace_dir(const std::filesystem::path& local_app_data);

// Whether `dir` lies under C:\Program Files (either of them) or the Windows folder, where
// installed programs live.
bool is_system_folder(const std::filesystem::path& dir);

// The folder that receives the output files: the program's own folder when this user
// may create files in it and it is no system folder, otherwise %LOCALAPPDATA%\RNQ7: an
// installed program never writes beside itself, whoever runs it.
std::filesystem::path output_dir(const std::filesystem::path& program_dir,
                                 const std::filesystem::path& local_app_data);

// Whether a file can be created in `dir` (tried with a file of its own, removed at once:
// the folder's access rules and a read-only medium both show only that way).
bool can_write_in(const std::filesystem::path& dir);

// The device of serial port `number`: \\.\COMn, the name that reaches every port from
// COM1 to COM255.
std::wstring port_device(int number);

}  // namespace tavric::win
