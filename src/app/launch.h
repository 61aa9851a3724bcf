#pragma once

#include <functional>
#include <map>
#include <ostream>
#include <string>

#include "app/option_dialogs.h"
#include "app/run_options.h"
#include "app/settings_overrides.h"
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
  // the device behind a port number, for the trace.
  LaunchPlatform(const Platform& base, const RunOptions& options, RunLog& trace, std::ostream& err,
                 std::function<std::string(int)> device_of = nullptr);
  LaunchPlatform(const LaunchPlatform&) = delete;
  LaunchPlatform& operator=(const LaunchPlatform&) = delete;

  Platform& platform() { return platform_; }

 private:
  SettingsOverrides settings_;
  OptionDialogs option_dialogs_;
  UnattendedDialogs unattended_dialogs_;
  TracingDialogs dialogs_;
  TracingWindow window_;
  TracingSerialPort port_;
  TracingFileSystem files_;
  Platform platform_;
};

// What an exit status says about the launch, in a few words.
const char* exit_status_meaning(int status);

}  // namespace tavric
