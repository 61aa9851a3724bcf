#include "qt/mod_main.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <iostream>
#include <memory>

#include "app/exit_status.h"
#include "app/form.h"
#include "app/launch.h"
#include "app/locations.h"
#include "app/run.h"
#include "app/session.h"
#include "app/trace.h"
#include "app/trace_files.h"
#include "platform/file_system.h"
#include "platform/system_clock.h"
#include "qt/command_line.h"
#include "qt/main_window.h"
#include "qt/qt_dialogs.h"
#include "qt/qt_serial_port.h"
#include "qt/qt_settings.h"

namespace modMain {
namespace {

int usage_error(const std::string& complaint) {
  std::fprintf(stderr, "%s: %s\n\n%s", tavric::qt::kProgramName, complaint.c_str(),
               tavric::qt::help_text().c_str());
  return tavric::kExitUsage;
}

// An unattended run needs no display: without one it draws off screen, unless the
// user has chosen a platform.
void choose_platform(const tavric::RunOptions& options) {
  if (!options.unattended || qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) return;
  if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    return;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
}

// The trace of this launch: the file the options name, or a fresh one among the
// last runs' traces.
std::unique_ptr<tavric::Trace> open_trace(const tavric::RunOptions& options,
                                          const tavric::Environment& env,
                                          const tavric::Clock& clock,
                                          const tavric::LocalDateTime& started) {
  if (options.trace) return tavric::Trace::to_file(clock, *options.trace, std::cerr);
  const std::filesystem::path dir = tavric::trace_dir(env);
  std::error_code e;
  std::filesystem::create_directories(dir, e);
  const std::filesystem::path file = tavric::new_trace_file(dir, started);
  auto trace = tavric::Trace::to_file(clock, file, std::cerr);
  if (trace->working()) tavric::prune_traces(dir, tavric::kTracesKept, file);
  return trace;
}

}  // namespace

int Main(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  // Read before the application object exists, so that a bad command line is told
  // even where no display could be opened.
  const tavric::qt::CommandLine command = tavric::qt::parse_command_line(arguments);
  switch (command.action) {
    case tavric::qt::CommandLine::Action::Help:
    case tavric::qt::CommandLine::Action::Version:
      std::fputs(command.text.c_str(), stdout);
      return tavric::kExitCompleted;
    case tavric::qt::CommandLine::Action::UsageError:
      return usage_error(command.text);
    case tavric::qt::CommandLine::Action::Run:
      break;
  }
  const tavric::RunOptions& options = command.options;
  choose_platform(options);

  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(tavric::qt::kProgramName));
  QApplication::setApplicationVersion(QString::fromLatin1(tavric::qt::kProgramVersion));

  const tavric::Environment env = tavric::process_environment();
  const std::filesystem::path output = options.output.value_or(
      tavric::output_dir(QCoreApplication::applicationDirPath().toStdString(), env));
  if (options.trace) {
    const std::string complaint = tavric::check_trace_place(*options.trace, output);
    if (!complaint.empty()) return usage_error(complaint);
  }

  tavric::SystemClock clock;
  const tavric::LocalDateTime started = clock.local_now();
  const std::unique_ptr<tavric::Trace> trace = open_trace(options, env, clock, started);
  trace->note(std::string(tavric::qt::kProgramName) + " " + tavric::qt::kProgramVersion +
              " started " + tavric::format_date(started) + " " + tavric::format_time(started));
  trace->note("options: " + tavric::describe(options));
  trace->note("output folder: " + output.string());

  const std::filesystem::path settings_folder = tavric::settings_dir(env);
  tavric::qt::FrmProbeServerDump window;
  tavric::qt::QtDialogs dialogs(&window);
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

  tavric::Form_Load(session);
  window.show();
  const int loop_status = QApplication::exec();
  status = ended ? status : (window.closed() ? tavric::kExitClosed : loop_status);
  trace->note("exit status " + std::to_string(status) + ": " + tavric::exit_status_meaning(status));
  if (options.unattended && status != tavric::kExitCompleted && trace->working()) {
    std::cerr << tavric::qt::kProgramName << ": exit status " << status << " ("
              << tavric::exit_status_meaning(status) << "); trace in " << trace->name()
              << std::endl;
  }
  return status;
}

}  // namespace modMain
