#include "app/run_options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

#include "platform/file_system.h"
#include "platform/trimmed.h"
#include "readings/kept_lines.h"
#include "readings/output_files.h"
#include "readings/output_folder.h"
#include "report/chart_page.h"

namespace tavric {
namespace {

constexpr int kHighestPort = 32767;  // the port number is a 16-bit value everywhere
constexpr std::size_t kPinFileLimit = 256;

std::string in_quotes(std::string_view text) {
  return "'" + std::string(text) + "'";
}

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool all_digits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// "COM7", "com7" or "\\.\COM7": the port number the name holds, 0 when none.
int com_name_number(std::string_view value) {
  if (value.rfind("\\\\.\\", 0) == 0) value.remove_prefix(4);
  if (value.size() < 4 || lower(std::string(value.substr(0, 3))) != "com") return 0;
  const std::string digits(value.substr(3));
  if (!all_digits(digits) || digits.size() > 5 || digits[0] == '0') return 0;
  return std::stoi(digits);
}

std::string take_port(const std::string& value, RunOptions& o) {
  // Digits only: a command line has no reason for the prompt's lenient number rule.
  const int number =
      all_digits(value) && value.size() <= 5 ? std::stoi(value) : com_name_number(value);
  if (number >= 1 && number <= kHighestPort) {
    o.port = number;
    return {};
  }
  // A device named by its path (/dev/ttyUSB0, /dev/serial/by-id/...), which the program
  // shell gives a number; whether it opens is told where the port is opened.
  if (value.find('/') != std::string::npos && number == 0) {
    std::error_code e;
    o.port_device = std::filesystem::absolute(path_from_text(value), e).lexically_normal().string();
    if (!e) return {};
  }
  return "--port: " + in_quotes(value) + " is neither a port number from 1 to " +
         std::to_string(kHighestPort) + " nor a device (COM7, /dev/ttyUSB0)";
}

std::string take_speed(const std::string& value, RunOptions& o) {
  const std::string v = lower(value);
  if (v != "lo" && v != "hi") return "--speed: " + in_quotes(value) + " is neither lo nor hi";
  o.speed_hi = v == "hi";
  return {};
}

std::string take_output(const std::string& value, RunOptions& o) {
  if (value.empty()) return "--output: no folder given";
  std::error_code e;
  const std::filesystem::path dir = std::filesystem::absolute(path_from_text(value), e);
  // A folder that is not there yet is made at the start of the run, where a folder
  // that cannot be made is told before the port is touched.
  if (e || (std::filesystem::exists(dir, e) && !std::filesystem::is_directory(dir, e))) {
    return "--output: " + in_quotes(value) + " is not a folder";
  }
  o.output = dir.lexically_normal();
  return {};
}

std::string take_folder_wait(const std::string& value, RunOptions& o) {
  constexpr int kWeek = 7 * 24 * 3600;
  if (all_digits(value) && value.size() <= 6 && std::stoi(value) <= kWeek) {
    o.folder_wait_s = std::stoi(value);
    return {};
  }
  return "--folder-wait: " + in_quotes(value) + " is not a number of seconds up to a week";
}

std::string take_cell(const std::string& value, RunOptions& o) {
  // The number goes straight into the dial command: only what a dial string holds,
  // so that nothing can end the command early or add another.
  const std::string number(trimmed(value, " \t\r\n"));
  const bool has_digit =
      std::any_of(number.begin(), number.end(), [](unsigned char c) { return std::isdigit(c); });
  const bool dialable = std::all_of(number.begin(), number.end(), [](unsigned char c) {
    return std::isdigit(c) || std::strchr(" +*#,-().pPtTwW", c) != nullptr;
  });
  if (!has_digit || !dialable) return "--cell: " + in_quotes(value) + " is not a telephone number";
  o.cell = number;
  return {};
}

std::string take_pin_file(const std::string& value, RunOptions& o) {
  std::ifstream in(path_from_text(value), std::ios::binary);
  if (!in) return "--pin-file: cannot read " + in_quotes(value) + ": " + std::strerror(errno);
  std::string text(kPinFileLimit + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  const std::string pin(trimmed(text, " \t\r\n"));
  // The modem dialogue sends a PIN of exactly four characters and silently none of
  // any other length; a file that cannot work is better refused here.
  if (pin.size() != 4 || !all_digits(pin)) {
    return "--pin-file: " + in_quotes(value) + " does not hold a four-digit PIN";
  }
  o.pin = pin;
  o.pin_file = path_from_text(value);
  return {};
}

std::string take_trace(const std::string& value, RunOptions& o) {
  if (value.empty()) return "--trace: no file given";
  std::error_code e;
  o.trace = std::filesystem::absolute(path_from_text(value), e).lexically_normal();
  if (e) return "--trace: " + in_quotes(value) + " is not a file name";
  return {};
}

// The same name once links and dots are resolved, or the same file or folder by its
// identity (device and inode; the file ID on Windows), so that a link of either kind to
// an output file is caught as well as the file's own name.
bool same_place(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code e1;
  std::error_code e2;
  if (std::filesystem::weakly_canonical(a, e1) == std::filesystem::weakly_canonical(b, e2) && !e1 &&
      !e2) {
    return true;
  }
  std::error_code e;
  return std::filesystem::equivalent(a, b, e) && !e;
}

}  // namespace

std::string apply_option(std::string_view name, const std::string& value, RunOptions& options) {
  if (name == "port") return take_port(value, options);
  if (name == "speed") return take_speed(value, options);
  if (name == "output") return take_output(value, options);
  if (name == "cell") return take_cell(value, options);
  if (name == "pin-file") return take_pin_file(value, options);
  if (name == "trace") return take_trace(value, options);
  if (name == "folder-wait") return take_folder_wait(value, options);
  return "--" + std::string(name) + ": unknown option";
}

std::string check_trace_place(const std::filesystem::path& trace,
                              const std::filesystem::path& output_dir) {
  const std::string named = "--trace: " + in_quotes(path_text(trace));
  const std::filesystem::path dumps = output_dir / kDumpFolder;
  if (same_place(trace.parent_path(), dumps)) return named + " lies in the dump folder";
  std::error_code e;
  for (const auto& entry : std::filesystem::directory_iterator(dumps, e)) {
    if (same_place(trace, entry.path())) return named + " is a dump file";
  }
  const std::pair<const char*, const char*> files[] = {
      {kProbeDataFile, "the probe data file"},
      {kKeptLinesFile, "the record of the lines kept back"},
      {report::kChartPageFile, "the chart page"},
      {kFolderLockFile, "the output folder's lock"}};
  for (const auto& [name, what] : files) {
    if (same_place(trace, output_dir / name)) return named + " is " + what;
  }
  return {};
}

std::string describe(const RunOptions& o) {
  std::string text;
  const auto add = [&](const std::string& part) { text += (text.empty() ? "" : " ") + part; };
  if (o.unattended) add("--unattended");
  if (o.quiet) add("--quiet");
  if (o.report) add("--report");
  if (o.list_ports) add("--list-ports");
  if (o.status) add("--status");
  if (o.port_device) {
    add("--port " + in_quotes(*o.port_device));
  } else if (o.port) {
    add("--port " + std::to_string(*o.port));
  }
  if (o.speed_hi) add(std::string("--speed ") + (*o.speed_hi ? "hi" : "lo"));
  if (o.output) add("--output " + in_quotes(path_text(*o.output)));
  if (o.cell) add("--cell " + in_quotes(*o.cell));
  if (o.pin_file) add("--pin-file " + in_quotes(path_text(*o.pin_file)));
  if (o.folder_wait_s != RunOptions{}.folder_wait_s) {
    add("--folder-wait " + std::to_string(o.folder_wait_s));
  }
  if (o.trace) add("--trace " + in_quotes(path_text(*o.trace)));
  return text.empty() ? "(none)" : text;
}

}  // namespace tavric
