#pragma once

#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>

#include "app/explaining_serial_port.h"
#include "app/option_dialogs.h"
#include "app/run_options.h"
#include "app/settings_overrides.h"
#include "app/trace.h"
#include "app/tracing_file_system.h"
#include "app/tracing_serial_port.h"
#include "app/tracing_ui.h"
#include "platform/platform.h"

namespace tavric {

// The settings the options give for this launch ("Port", "Speed", "Cell").
std::map<std::string, std::string> overridden_settings(const RunOptions& options);

// The platform one launch runs on: the machine's own parts (or the test host's) with
// the settings and answers the options give, prompts and messages kept from a person
// when unattended, and everything the run does noted in `trace`.
class LaunchPlatform {
 public:
  // `err` receives the messages and prompts of an unattended launch; `device_of` names
  // the device behind a port number, for the trace; `ports`, when given, explains a
  // port that would not open.
  LaunchPlatform(const Platform& base, const RunOptions& options, RunLog& trace, std::ostream& err,
                 std::function<std::string(int)> device_of = nullptr, PortList* ports = nullptr);
  LaunchPlatform(const LaunchPlatform&) = delete;
  LaunchPlatform& operator=(const LaunchPlatform&) = delete;

  Platform& platform() { return platform_; }

 private:
  SettingsOverrides settings_;
  OptionDialogs option_dialogs_;
  UnattendedDialogs unattended_dialogs_;
  TracingDialogs dialogs_;
  TracingWindow window_;
  std::unique_ptr<ExplainingSerialPort> explained_port_;
  TracingSerialPort port_;
  TracingFileSystem files_;
  Platform platform_;
};

// What an exit status says about the launch, in a few words.
const char* exit_status_meaning(int status);

// Tells a bad command line on `err`: the complaint, then the usage. Gives kExitUsage.
int usage_error(const std::string& complaint, std::ostream& err);

// The trace of this launch: the file the options name, or a fresh one among the last
// launches' traces in `trace_folder` (made when missing; the oldest are removed).
std::unique_ptr<Trace> open_trace(const RunOptions& options,
                                  const std::filesystem::path& trace_folder, const Clock& clock,
                                  const LocalDateTime& started, std::ostream& err);

// The first lines of a trace: the program, when it started, its options and folder.
void note_start(RunLog& trace, const RunOptions& options, const std::filesystem::path& output,
                const LocalDateTime& started);

// The last line of a trace: the exit status; unattended, a failed launch also names its
// trace on `err`, so that a scheduler's log leads to it.
void note_exit(int status, const RunOptions& options, Trace& trace, std::ostream& err);

}  // namespace tavric
