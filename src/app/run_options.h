#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tavric {

// What the command line asks of one launch. Values given here serve this launch only:
// none of them is saved in the settings.
struct RunOptions {
  std::optional<int> port{};                 // serial port number, in place of the saved one
  std::optional<std::string> port_device{};  // the device itself, when named by its path
  std::optional<bool> speed_hi{};  // "Hi" (true) or "Lo" (false), in place of the saved one
  std::optional<std::filesystem::path> output{};  // folder of "Tavric Dumps" and the data file
  std::optional<std::string> cell{};              // the number the modem dials
  std::optional<std::string> pin{};               // the SIM PIN, read from a file
  std::optional<std::filesystem::path> pin_file{};
  std::optional<std::filesystem::path> trace{};  // the trace file, in place of the usual one
  bool unattended = false;                       // no prompt or message waits for a person
  bool quiet = false;       // an unattended run prints no summary on standard output
  bool report = false;      // write the chart page from the files as they are, and end
  bool list_ports = false;  // list the serial ports the machine has, and end
  bool status = false;      // find the server, tell what it holds, and end; nothing fetched
  // How long an unattended run waits for another run to let go of the output folder.
  int folder_wait_s = 3600;
};

// Takes the value of option `name` (a long name without dashes) into `options`.
// Returns an empty text when the value is good, otherwise one line saying which
// option and what is wrong with it.
std::string apply_option(std::string_view name, const std::string& value, RunOptions& options);

// A trace must never land on an output file or in the dump folder, whatever name or link
// leads there: it would overwrite readings, or the dump rotation would take it for one of
// its own. Returns the complaint, or empty text.
std::string check_trace_place(const std::filesystem::path& trace,
                              const std::filesystem::path& output_dir);

// The options as a command line again, for the trace (the PIN itself never shows).
std::string describe(const RunOptions& options);

}  // namespace tavric
