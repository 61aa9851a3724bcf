#include "app/command_line.h"

#include <algorithm>
#include <map>
#include <optional>

#include "app/launch.h"
#include "session/exit_status.h"

namespace tavric {
namespace {

constexpr const char* kDescription =
    "Downloads the new readings of a Tavric Probe Server, writes them to the dump and probe\n"
    "data files, sets the server's clock and empties its store once every reading is safely\n"
    "on disk. Options given here serve this run only; none is saved.\n";

struct OptionText {
  const char* name;
  const char* value;  // nullptr for a flag
  const char* help;
};

// Every option of the program, in the order the help shows them.
constexpr OptionText kOptions[] = {
    {"port", "N|DEVICE",
     "Serial port N, or the device itself (COM7, /dev/ttyUSB0, /dev/serial/by-id/...), instead "
     "of the saved one."},
    {"speed", "lo|hi", "Lo or Hi instead of the saved speed option."},
    {"output", "DIR",
     "Folder that receives \"Tavric Dumps\" and the probe data file; made when missing."},
    {"cell", "NUMBER", "Number the cell modem dials."},
    {"pin-file", "FILE", "File holding the four-digit SIM PIN."},
    {"unattended", nullptr,
     "No prompt or message waits for a person: they go to standard error, each prompt "
     "answered by the options or the answer that ends the run or keeps the readings on the "
     "server. Runs without a display."},
    {"quiet", nullptr,
     "Print nothing on success: an unattended run leaves out its summary on standard output "
     "(the trace keeps it); messages and errors still go to standard error."},
    {"folder-wait", "SECONDS",
     "How long an unattended run waits while another run uses the output folder (default "
     "3600)."},
    {"trace", "FILE", "Write the support trace to FILE instead of the usual folder."},
    {"list-ports", nullptr,
     "List the serial ports of this computer: number, device, stable name and what each is; "
     "then end."},
    {"status", nullptr,
     "Find the server as a download does and print what it holds (generation, readings "
     "waiting, store, clock), then hang up and end: nothing is fetched, set or cleared. Status "
     "0 when the server answered."},
    {"report", nullptr,
     "Write the chart page \"Tavric Probe Data.html\" from the probe data file and the dumps "
     "in the output folder, and end: no window, no port. Status 0, or 2 when the page cannot "
     "be written."},
};

const OptionText* find_option(std::string_view name) {
  for (const OptionText& o : kOptions) {
    if (name == o.name) return &o;
  }
  return nullptr;
}

const ShellOption* find_shell_option(std::string_view name, std::span<const ShellOption> shell) {
  for (const ShellOption& o : shell) {
    if (name == o.name) return &o;
  }
  return nullptr;
}

// `text` broken into lines of at most `width` characters, each after `indent` blanks
// but the first.
std::string wrapped(std::string_view text, std::size_t indent, std::size_t width) {
  std::string out;
  std::size_t column = indent;
  bool first_word = true;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find(' '), text.size());
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (!first_word && column + 1 + word.size() > width) {
      out += "\n" + std::string(indent, ' ');
      column = indent;
    } else if (!first_word) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    first_word = false;
  }
  return out;
}

std::string usage_line(const OptionText& o) {
  std::string line = "  --" + std::string(o.name);
  if (o.value) line += " <" + std::string(o.value) + ">";
  return line;
}

}  // namespace

std::string help_text() {
  constexpr std::size_t kHelpColumn = 24;
  constexpr std::size_t kWidth = 88;
  std::string text =
      "Usage: " + std::string(kProgramName) + " [options]\n" + kDescription + "\nOptions:\n";
  const auto add = [&](const std::string& left, const char* help) {
    // An option too long for its column has its text on the next line, so that option
    // and text are never run together (the manual page is made from this text).
    const std::string gap = left.size() + 2 <= kHelpColumn
                                ? std::string(kHelpColumn - left.size(), ' ')
                                : "\n" + std::string(kHelpColumn, ' ');
    text += left + gap + wrapped(help, kHelpColumn, kWidth) + "\n";
  };
  add("  -h, --help", "This text.");
  add("  -v, --version", "The program's version.");
  for (const OptionText& o : kOptions) add(usage_line(o), o.help);
  text += "\nExit statuses:\n";
  for (const int status : kExitStatuses) {
    std::string number = std::to_string(status);
    text +=
        "  " + number + std::string(5 - number.size(), ' ') + exit_status_meaning(status) + "\n";
  }
  return text;
}

CommandLine parse_command_line(const std::vector<std::string>& arguments,
                               std::span<const ShellOption> shell_options) {
  CommandLine result;
  const auto usage_error = [&](std::string text) {
    result.action = CommandLine::Action::UsageError;
    result.text = std::move(text);
    return result;
  };

  // First the shape of the line: every option known, every value present.
  std::map<std::string, std::string> values;
  bool help = false;
  bool version = false;
  std::optional<std::string> stray;
  bool options_ended = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& arg = arguments[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      if (!stray) stray = arg;
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    std::string name = arg.substr(arg[1] == '-' ? 2 : 1);
    std::optional<std::string> value;
    if (const auto eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    }
    const bool takes_value = [&] {
      if (const OptionText* o = find_option(name)) return o->value != nullptr;
      if (const ShellOption* o = find_shell_option(name, shell_options)) return o->takes_value;
      return false;
    }();
    const bool known = find_option(name) || find_shell_option(name, shell_options) || name == "h" ||
                       name == "help" || name == "v" || name == "version";
    if (!known) return usage_error("Unknown option '" + name + "'.");
    if (takes_value && !value) {
      if (i + 1 >= arguments.size()) return usage_error("Missing value after '" + arg + "'.");
      value = arguments[++i];
    }
    if (!takes_value && value) return usage_error("Unexpected value after '--" + name + "'.");
    if (name == "h" || name == "help") help = true;
    if (name == "v" || name == "version") version = true;
    if (find_option(name)) values[name] = value.value_or("");
  }

  if (help) {
    result.action = CommandLine::Action::Help;
    result.text = help_text();
    return result;
  }
  if (version) {
    result.action = CommandLine::Action::Version;
    result.text = std::string(kProgramName) + " " + kProgramVersion + "\n";
    return result;
  }
  if (stray) return usage_error("Unexpected argument '" + *stray + "'.");
  // Then the values, in the order the help lists them.
  for (const OptionText& o : kOptions) {
    const auto it = values.find(o.name);
    if (it == values.end() || !o.value) continue;
    const std::string complaint = apply_option(o.name, it->second, result.options);
    if (!complaint.empty()) return usage_error(complaint);
  }
  result.options.unattended = values.count("unattended") != 0;
  result.options.report = values.count("report") != 0;
  result.options.quiet = values.count("quiet") != 0;
  result.options.list_ports = values.count("list-ports") != 0;
  result.options.status = values.count("status") != 0;
  if (result.options.report + result.options.list_ports + result.options.status > 1) {
    return usage_error("--report, --list-ports and --status do not go together.");
  }
  return result;
}

}  // namespace tavric
