#include "app/launch.h"

#include "app/command_line.h"
#include "app/trace_files.h"
#include "session/exit_status.h"

namespace tavric {

std::map<std::string, std::string> overridden_settings(const RunOptions& options) {
  std::map<std::string, std::string> values;
  if (options.port) values["Port"] = std::to_string(*options.port);
  if (options.speed_hi) values["Speed"] = *options.speed_hi ? "1" : "0";
  if (options.cell) values["Cell"] = *options.cell;
  return values;
}

LaunchPlatform::LaunchPlatform(const Platform& base, const RunOptions& options, RunLog& trace,
                               std::ostream& err, std::function<std::string(int)> device_of,
                               PortList* ports)
    : settings_(base.settings, overridden_settings(options)),
      option_dialogs_(options, base.dialogs),
      unattended_dialogs_(options, err),
      dialogs_(options.unattended ? static_cast<Dialogs&>(unattended_dialogs_) : option_dialogs_,
               trace),
      window_(base.window, trace),
      explained_port_(ports ? std::make_unique<ExplainingSerialPort>(base.port, *ports) : nullptr),
      port_(explained_port_ ? *explained_port_ : base.port, trace, std::move(device_of)),
      files_(base.files, trace),
      platform_{window_,
                dialogs_,
                port_,
                settings_,
                base.clock,
                files_,
                options.output.value_or(base.output_dir),
                &trace} {
  // A person can close the window while a run waits for the output folder; a scheduled
  // run gives up after the time the options allow.
  if (options.unattended) platform_.folder_wait = std::chrono::seconds(options.folder_wait_s);
  platform_.digest = base.digest;
}

const char* exit_status_meaning(int status) {
  switch (status) {
    case kExitCompleted:
      return "the run kept its link to its end";
    case kExitNoComms:
      return "no server found, or the link to it was lost";
    case kExitOutputFailed:
      return "an output file failed; the readings were left on the server";
    case kExitModemFailed:
      return "the modem dialogue failed (PIN, dial, no answer through the call)";
    case kExitReadingsKept:
      return "readings could not be fetched; they were left on the server";
    case kExitPinRefused:
      return "the SIM refused this PIN before, or asks for its PUK: no PIN was sent";
    case kExitFolderBusy:
      return "another run kept the output folder; nothing was done";
    case kExitUsage:
      return "bad command line";
    case kExitNoDisplay:
      return "no display to show the window on; run with --unattended";
    case kExitHangUp:
      return "hung up (SIGHUP); ended as if the window was closed";
    case kExitClosed:
      return "the window was closed, or the run was interrupted (SIGINT)";
    case kExitTerminated:
      return "terminated (SIGTERM); ended as if the window was closed";
    default:
      return "unknown";
  }
}

int usage_error(const std::string& complaint, std::ostream& err) {
  err << kProgramName << ": " << complaint << "\n\n" << help_text() << std::flush;
  return kExitUsage;
}

std::unique_ptr<Trace> open_trace(const RunOptions& options,
                                  const std::filesystem::path& trace_folder, const Clock& clock,
                                  const LocalDateTime& started, std::ostream& err) {
  if (options.trace) return Trace::to_file(clock, *options.trace, err);
  std::error_code e;
  std::filesystem::create_directories(trace_folder, e);
  const std::filesystem::path file = new_trace_file(trace_folder, started);
  auto trace = Trace::to_file(clock, file, err);
  if (trace->working()) prune_traces(trace_folder, kTracesKept, file);
  return trace;
}

void note_start(RunLog& trace, const RunOptions& options, const std::filesystem::path& output,
                const LocalDateTime& started) {
  trace.note(std::string(kProgramName) + " " + kProgramVersion + " started " +
             format_date(started) + " " + format_time(started));
  trace.note("options: " + describe(options));
  trace.note("output folder: " + path_text(output));
  trace.flush();
}

void note_exit(int status, const RunOptions& options, Trace& trace, std::ostream& err) {
  trace.note("exit status " + std::to_string(status) + ": " + exit_status_meaning(status));
  trace.flush();
  if (options.unattended && status != kExitCompleted && trace.working()) {
    err << kProgramName << ": exit status " << status << " (" << exit_status_meaning(status)
        << "); trace in " << trace.name() << std::endl;
  }
}

}  // namespace tavric
