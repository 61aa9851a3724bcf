#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/run_options.h"

namespace tavric {

inline constexpr const char* kProgramName = "probe-server-dump";
inline constexpr const char* kProgramVersion = TAVRIC_VERSION;

// What the command line asks for.
struct CommandLine {
  enum class Action { Run, Help, Version, UsageError };
  Action action = Action::Run;
  RunOptions options;
  // Help: the help text. Version: the version line. UsageError: one line naming the
  // option or argument and what is wrong.
  std::string text;
};

// An option of the window toolkit that a program shell takes itself; the command line
// accepts it and leaves it alone.
struct ShellOption {
  std::string_view name;
  bool takes_value = false;
};

// Reads the program's arguments (without the program itself). Options are long names
// after one or two dashes, with their value as the next argument or after "=".
CommandLine parse_command_line(const std::vector<std::string>& arguments,
                               std::span<const ShellOption> shell_options = {});

// The usage: options and exit statuses.
std::string help_text();

}  // namespace tavric
