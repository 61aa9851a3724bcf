#include "app/launch.h"

#include "app/exit_status.h"

namespace tavric {

std::map<std::string, std::string> overridden_settings(const RunOptions& options) {
  std::map<std::string, std::string> values;
  if (options.port) values["Port"] = std::to_string(*options.port);
  if (options.speed_hi) values["Speed"] = *options.speed_hi ? "1" : "0";
  if (options.cell) values["Cell"] = *options.cell;
  return values;
}

LaunchPlatform::LaunchPlatform(const Platform& base, const RunOptions& options, RunLog& trace,
                               std::ostream& err, std::function<std::string(int)> device_of)
    : settings_(base.settings, overridden_settings(options)),
      option_dialogs_(options, base.dialogs),
      unattended_dialogs_(options, err),
      dialogs_(options.unattended ? static_cast<Dialogs&>(unattended_dialogs_) : option_dialogs_,
               trace),
      window_(base.window, trace),
      port_(base.port, trace, std::move(device_of)),
      files_(base.files, trace),
      platform_{window_,
                dialogs_,
                port_,
                settings_,
                base.clock,
                files_,
                options.output.value_or(base.output_dir),
                &trace} {}

const char* exit_status_meaning(int status) {
  switch (status) {
    case kExitCompleted:
      return "the run kept its link to its end";
    case kExitNoComms:
      return "no server found, or the link to it was lost";
    case kExitOutputFailed:
      return "an output file failed; the readings were left on the server";
    case kExitModemFailed:
      return "the modem dialogue failed";
    case kExitUsage:
      return "bad command line";
    case kExitClosed:
      return "the window was closed";
    default:
      return "unknown";
  }
}

}  // namespace tavric
