#include "win/mod_main.h"

#include <windows.h>

#include <memory>
#include <optional>

#include "app/chart_page_step.h"
#include "app/command_line.h"
#include "app/form.h"
#include "app/launch.h"
#include "app/port_text.h"
#include "app/run.h"
#include "app/run_summary.h"
#include "app/status_check.h"
#include "session/exit_status.h"
#include "win/console_stop.h"
#include "win/indicator_art.h"
#include "win/locations.h"
#include "win/main_window.h"
#include "win/registry_settings.h"
#include "win/standard_streams.h"
#include "win/win_clock.h"
#include "win/win_dialogs.h"
#include "win/win_digest.h"
#include "win/win_file_system.h"
#include "win/win_port_list.h"
#include "win/win_serial_port.h"

namespace modMain {

int Main(const std::vector<std::string>& arguments) {
  tavric::win::StandardStreams streams;
  const tavric::CommandLine command = tavric::parse_command_line(arguments);
  switch (command.action) {
    case tavric::CommandLine::Action::Help:
    case tavric::CommandLine::Action::Version:
      streams.out() << command.text << std::flush;
      return tavric::kExitCompleted;
    case tavric::CommandLine::Action::UsageError:
      return tavric::usage_error(command.text, streams.err());
    case tavric::CommandLine::Action::Run:
      break;
  }
  const tavric::RunOptions& options = command.options;
  if (options.list_ports) {
    tavric::win::WinPortList ports;
    streams.out() << tavric::port_list_text(ports.ports()) << std::flush;
    return tavric::kExitCompleted;
  }
  // A COM port is named by its number or its COM name; device paths are Linux's.
  if (options.port_device) {
    return tavric::usage_error("--port: '" + *options.port_device +
                                   "' is neither a port number nor a COM port name (COM7)",
                               streams.err());
  }

  const std::filesystem::path app_data = tavric::win::local_app_data();
  const std::filesystem::path output =
      options.output.value_or(tavric::win::output_dir(tavric::win::program_dir(), app_data));
  if (options.trace) {
    const std::string complaint = tavric::check_trace_place(*options.trace, output);
    if (!complaint.empty()) return tavric::usage_error(complaint, streams.err());
  }

  tavric::win::WinClock clock;
  const tavric::LocalDateTime started = clock.local_now();
  const std::unique_ptr<tavric::Trace> trace =
      tavric::open_trace(options, tavric::win::trace_dir(app_data), clock, started, streams.err());
  tavric::note_start(*trace, options, output, started);

  if (options.report) {
    tavric::win::WinFileSystem report_files;
    const int status = tavric::WriteChartPageNow(report_files, output, clock, *trace, streams.out(),
                                                 streams.err());
    tavric::note_exit(status, options, *trace, streams.err());
    return status;
  }

  const tavric::win::GdiplusSession gdiplus;
  tavric::win::MainWindow window;
  tavric::win::WinPortList port_list;
  tavric::win::WinDialogs dialogs(window);
  dialogs.port_note = [&] { return tavric::ports_found_note(port_list.ports()); };
  tavric::win::WinSerialPort port(&window);
  tavric::win::RegistrySettings settings;
  tavric::win::WinFileSystem files;
  const tavric::win::WinDigest digest;
  tavric::Platform machine{window, dialogs, port, settings, clock, files, output};
  machine.digest = &digest;
  tavric::LaunchPlatform launch(
      machine, options, *trace, streams.err(),
      [](int number) { return tavric::path_text(tavric::win::port_device(number)); }, &port_list);
  tavric::DownloadRun run(launch.platform(), tavric::win::state_dir(app_data));
  // From here on the console's Ctrl+C ends the run as a closed window would.
  tavric::win::ConsoleStop console_stop(window.hwnd());

  int status = tavric::kExitCompleted;
  bool ended = false;
  int stop_status = 0;  // the first request to stop from outside, 0 = none
  window.on_unload = [&] {
    trace->note("window closed");
    tavric::Form_Unload(run);
    status = tavric::kExitClosed;
  };
  window.on_tick = [&] {
    const std::optional<int> result =
        options.status ? tavric::StatusCheck(run, streams.out()) : tavric::tmr_Timer(run);
    if (!result) return;  // a run is already in progress
    status = *result;
    ended = true;
  };
  window.on_stop = [&](int requested, const std::string& why) {
    if (stop_status != 0) return;
    stop_status = requested;
    trace->note(why + " received: ending as if the window was closed");
    window.close_now();
  };
  // A request to stop that cut the run short decides the status; one that came after
  // the run had ended by itself changes nothing.
  const auto final_status = [&] {
    if (stop_status != 0 && (!ended || status == tavric::kExitClosed)) return stop_status;
    if (!ended && window.closed()) return static_cast<int>(tavric::kExitClosed);
    return status;
  };
  window.on_session_end = [&] {
    // The system ends the process when this returns; the unload steps have run.
    const int last = final_status();
    tavric::note_exit(last, options, *trace, streams.err());
    streams.err().flush();
    ::ExitProcess(static_cast<UINT>(last));
  };

  tavric::Form_Load(launch.platform().window, launch.platform().settings);
  window.show();
  MSG msg;
  while (!ended && !window.closed() && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!::IsDialogMessageW(window.hwnd(), &msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  status = final_status();
  if (options.unattended && !options.quiet) {
    tavric::PrintRunSummary(run.RunSummary, streams.out());
  }
  tavric::note_exit(status, options, *trace, streams.err());
  console_stop.finished();
  return status;
}

}  // namespace modMain
