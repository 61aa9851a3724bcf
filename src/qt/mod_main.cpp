#include "qt/mod_main.h"

#include <QApplication>
#include <QIcon>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <vector>

#include "app/chart_page_step.h"
#include "app/command_line.h"
#include "app/form.h"
#include "app/launch.h"
#include "app/port_text.h"
#include "app/run.h"
#include "app/run_summary.h"
#include "app/status_check.h"
#include "posix/locations.h"
#include "posix/posix_file_system.h"
#include "posix/system_clock.h"
#include "qt/main_window.h"
#include "qt/qt_dialogs.h"
#include "qt/qt_digest.h"
#include "qt/qt_port_list.h"
#include "qt/qt_serial_port.h"
#include "qt/qt_settings.h"
#include "qt/stop_signals.h"
#include "session/exit_status.h"

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

// The one line that tells a launch with a window, but without a display, what to do.
std::string no_display_line(const std::string& why) {
  return std::string(tavric::kProgramName) + ": no display to show the window on (" + why +
         "); to run without one, add --unattended and give the port with --port";
}

bool has_display() {
  return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
         !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// While the application object starts, a display that cannot be opened (a DISPLAY that
// leads nowhere) is said in one line and ends the launch with its status, where the
// toolkit would abort; its other messages meanwhile are held back, and passed on once
// it has started.
QtMessageHandler toolkit_messages = nullptr;
std::vector<std::pair<QtMsgType, QString>> held_messages;
void on_toolkit_message(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type != QtFatalMsg) {
    held_messages.emplace_back(type, text);
    return;
  }
  const QString display = qEnvironmentVariableIsEmpty("DISPLAY")
                              ? qEnvironmentVariable("WAYLAND_DISPLAY")
                              : qEnvironmentVariable("DISPLAY");
  const std::string why = display.isEmpty()
                              ? text.section(QChar('.'), 0, 0).trimmed().toStdString()
                              : "the display " + display.toStdString() + " cannot be opened";
  std::cerr << no_display_line(why) << std::endl;
  std::_Exit(tavric::kExitNoDisplay);
}

// Once the trace is open, the toolkit's own messages (XDG_RUNTIME_DIR not set, a missing
// font) go there, for whoever supports the user, rather than into a scheduled run's log
// or mail; those held back while the application object started go first. Until the
// guard ends, which is before the trace closes.
tavric::RunLog* toolkit_log = nullptr;
void on_toolkit_message_to_trace(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (toolkit_log) toolkit_log->note("toolkit: " + text.toStdString());
  if (type == QtCriticalMsg || type == QtFatalMsg) std::cerr << text.toStdString() << std::endl;
}
class ToolkitMessagesToTrace {
 public:
  explicit ToolkitMessagesToTrace(tavric::RunLog& log) {
    toolkit_log = &log;
    qInstallMessageHandler(on_toolkit_message_to_trace);
    for (const auto& [type, text] : held_messages) {
      on_toolkit_message_to_trace(type, QMessageLogContext(), text);
    }
    held_messages.clear();
  }
  ~ToolkitMessagesToTrace() {
    qInstallMessageHandler(toolkit_messages);
    toolkit_log = nullptr;
  }
  ToolkitMessagesToTrace(const ToolkitMessagesToTrace&) = delete;
  ToolkitMessagesToTrace& operator=(const ToolkitMessagesToTrace&) = delete;
};

// A device named with --port becomes the port number it is reached under (its comN
// link or its own number), or kNamedDevicePort, and that number leads to it.
void name_device_port(tavric::RunOptions& options, const std::filesystem::path& settings_folder) {
  if (!options.port_device) return;
  int number = tavric::port_number_of(*options.port_device, settings_folder);
  if (number == 0) number = tavric::kNamedDevicePort;
  tavric::name_port_device(number, *options.port_device);
  options.port = number;
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
  tavric::RunOptions options = command.options;
  const tavric::Environment env = tavric::process_environment();
  const std::filesystem::path settings_folder = tavric::settings_dir(env);
  if (options.list_ports) {
    tavric::qt::QtPortList ports(settings_folder);
    std::cout << tavric::port_list_text(ports.ports()) << std::flush;
    return tavric::kExitCompleted;
  }
  name_device_port(options, settings_folder);
  choose_platform(options);
  if (!options.unattended && !options.report && !has_display()) {
    std::cerr << no_display_line("neither DISPLAY nor WAYLAND_DISPLAY is set") << std::endl;
    return tavric::kExitNoDisplay;
  }
  // From here on a signal to stop ends the run as a closed window would.
  tavric::qt::StopSignals stop_signals;

  toolkit_messages = qInstallMessageHandler(on_toolkit_message);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(tavric::kProgramName));
  QApplication::setApplicationVersion(QString::fromLatin1(tavric::kProgramVersion));
  // The installed desktop entry and icon go with the window.
  QGuiApplication::setDesktopFileName(QString::fromLatin1(tavric::kProgramName));
  QApplication::setWindowIcon(QIcon::fromTheme(QString::fromLatin1(tavric::kProgramName)));

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
  const ToolkitMessagesToTrace toolkit_to_trace(*trace);

  if (options.report) {
    tavric::PosixFileSystem report_files;
    const int status =
        tavric::WriteChartPageNow(report_files, output, clock, *trace, std::cout, std::cerr);
    tavric::note_exit(status, options, *trace, std::cerr);
    return status;
  }

  tavric::qt::FrmProbeServerDump window;
  tavric::qt::QtPortList port_list(settings_folder);
  tavric::qt::QtDialogs dialogs(window);
  dialogs.port_note = [&] { return tavric::ports_found_note(port_list.ports()); };
  tavric::qt::QtSerialPort port(window, settings_folder);
  tavric::qt::QtSettings settings;
  tavric::PosixFileSystem files;
  const tavric::QtDigest digest;
  tavric::Platform machine{window, dialogs, port, settings, clock, files, output};
  machine.digest = &digest;
  tavric::LaunchPlatform launch(
      machine, options, *trace, std::cerr,
      [&](int number) { return tavric::port_device_path(number, settings_folder); }, &port_list);
  tavric::DownloadRun run(launch.platform(), tavric::state_dir(env));

  int status = tavric::kExitCompleted;
  bool ended = false;
  window.on_unload = [&] {
    trace->note("window closed");
    tavric::Form_Unload(run);
    status = tavric::kExitClosed;
  };
  window.on_tick = [&] {
    const std::optional<int> result =
        options.status ? tavric::StatusCheck(run, std::cout) : tavric::tmr_Timer(run);
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

  tavric::Form_Load(launch.platform().window, launch.platform().settings);
  window.show();
  const int loop_status = QApplication::exec();
  // A signal that cut the run short decides the status; one that came after the run
  // had ended by itself changes nothing.
  if (stop_signals.received() && (!ended || status == tavric::kExitClosed)) {
    status = tavric::qt::StopSignals::exit_status(stop_signals.received());
  } else if (!ended) {
    status = window.closed() ? tavric::kExitClosed : loop_status;
  }
  if (options.unattended && !options.quiet) tavric::PrintRunSummary(run.RunSummary, std::cout);
  tavric::note_exit(status, options, *trace, std::cerr);
  return status;
}

}  // namespace modMain
