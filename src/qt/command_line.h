#pragma once

#include <QStringList>
#include <string>

#include "app/run_options.h"

namespace tavric::qt {

inline constexpr const char* kProgramName = "probe-server-dump";
inline constexpr const char* kProgramVersion = "1.0.0";

// What the command line asks for.
struct CommandLine {
  enum class Action { Run, Help, Version, UsageError };
  Action action = Action::Run;
  RunOptions options;
  // Help: the help text. Version: the version line. UsageError: one line naming the
  // option or argument and what is wrong.
  std::string text;
};

// Reads the program's arguments (the first is the program itself). Qt's own options
// (-platform, -style ...) are accepted and left for the application object.
CommandLine parse_command_line(const QStringList& arguments);

// The usage: options and exit statuses.
std::string help_text();

}  // namespace tavric::qt
