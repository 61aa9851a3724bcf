#include "qt/mod_main.h"

#include <QApplication>
#include <QIcon>
#include <iostream>
#include <memory>

#include "app/chart_page_step.h"
#include "app/command_line.h"
#include "app/form.h"
#include "app/launch.h"
#include "app/run.h"
#include "posix/locations.h"
#include "posix/posix_file_system.h"
#include "posix/system_clock.h"
#include "qt/main_window.h"
#include "qt/qt_dialogs.h"
#include "qt/qt_serial_port.h"
#include "qt/qt_settings.h"
#include "qt/stop_signals.h"
#include "session/exit_status.h"
#include "session/session.h"

namespace modMain {
namespace {

// Qt's own options, taken by the application object; accepted so that the program
// keeps running with them.
constexpr tavric::ShellOption kQtOptions[] = {{"platform", true},      {"platformpluginpath", true},
                                              {"platformtheme", true}, {"plugin", true},
                                              {"qmljsdebugger", true}, {"qwindowgeometry", true},
                                              {"qwindowicon", true},   {"qwindowtitle", true},
                                              {"session", true},       {"display", true},
                                              {"geometry", true},      {"style", true},
                                              {"stylesheet", true},    {"reverse", false},
                                              {"widgetcount", false},  {"nograb", false},
                                              {"dograb", false},       {"sync", false}};

// An unattended run, and the chart page alone, need no display: without one they draw
// off screen, unless the user has chosen a platform.
void choose_platform(const tavric::RunOptions& options) {
  if (!(options.unattended || options.report) || qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
    return;
  }
  if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    return;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
}

}  // namespace

int Main(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  // Read before the application object exists, so that a bad command line is told
  // even where no display could be opened.
  const tavric::CommandLine command = tavric::parse_command_line(arguments, kQtOptions);
  switch (command.action) {
    case tavric::CommandLine::Action::Help:
    case tavric::CommandLine::Action::Version:
      std::cout << command.text << std::flush;
      return tavric::kExitCompleted;
    case tavric::CommandLine::Action::UsageError:
      return tavric::usage_error(command.text, std::cerr);
    case tavric::CommandLine::Action::Run:
      break;
  }
  const tavric::RunOptions& options = command.options;
  choose_platform(options);
  // From here on a signal to stop ends the run as a closed window would.
  tavric::qt::StopSignals stop_signals;

  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(tavric::kProgramName));
  QApplication::setApplicationVersion(QString::fromLatin1(tavric::kProgramVersion));
  // The installed desktop entry and icon go with the window.
  QGuiApplication::setDesktopFileName(QString::fromLatin1(tavric::kProgramName));
  QApplication::setWindowIcon(QIcon::fromTheme(QString::fromLatin1(tavric::kProgramName)));

  const tavric::Environment env = tavric::process_environment();
  const std::filesystem::path output = options.output.value_or(
      tavric::output_dir(QCoreApplication::applicationDirPath().toStdString(), env));
  if (options.trace) {
    const std::string complaint = tavric::check_trace_place(*options.trace, output);
    if (!complaint.empty()) return tavric::usage_error(complaint, std::cerr);
  }

  tavric::SystemClock clock;
  const tavric::LocalDateTime started = clock.local_now();
  const std::unique_ptr<tavric::Trace> trace =
      tavric::open_trace(options, tavric::trace_dir(env), clock, started, std::cerr);
  tavric::note_start(*trace, options, output, started);

  if (options.report) {
    tavric::PosixFileSystem report_files;
    const int status =
        tavric::WriteChartPageNow(report_files, output, clock, *trace, std::cout, std::cerr);
    tavric::note_exit(status, options, *trace, std::cerr);
    return status;
  }

  const std::filesystem::path settings_folder = tavric::settings_dir(env);
  tavric::qt::FrmProbeServerDump window;
  tavric::qt::QtDialogs dialogs(window);
  tavric::qt::QtSerialPort port(window, settings_folder);
  tavric::qt::QtSettings settings;
  tavric::PosixFileSystem files;
  const tavric::Platform machine{window, dialogs, port, settings, clock, files, output};
  tavric::LaunchPlatform launch(machine, options, *trace, std::cerr, [&](int number) {
    return tavric::port_device_path(number, settings_folder);
  });
  tavric::Session session(launch.platform());

  int status = tavric::kExitCompleted;
  bool ended = false;
  window.on_unload = [&] {
    trace->note("window closed");
    tavric::Form_Unload(session);
    status = tavric::kExitClosed;
  };
  window.on_tick = [&] {
    const std::optional<int> result = tavric::tmr_Timer(session);
    if (!result) return;  // a run is already in progress
    status = *result;
    ended = true;
    QCoreApplication::exit(status);
  };
  stop_signals.listen([&](int signal_number) {
    trace->note(tavric::qt::StopSignals::name(signal_number) +
                " received: ending as if the window was closed");
    window.close_now();
  });

  tavric::Form_Load(session);
  window.show();
  const int loop_status = QApplication::exec();
  // A signal that cut the run short decides the status; one that came after the run
  // had ended by itself changes nothing.
  if (stop_signals.received() && (!ended || status == tavric::kExitClosed)) {
    status = tavric::qt::StopSignals::exit_status(stop_signals.received());
  } else if (!ended) {
    status = window.closed() ? tavric::kExitClosed : loop_status;
  }
  tavric::note_exit(status, options, *trace, std::cerr);
  return status;
}

}  // namespace modMain
