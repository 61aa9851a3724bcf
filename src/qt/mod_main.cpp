#include "qt/mod_main.h"

#include <QApplication>
#include <QTimer>

#include "app/exit_status.h"
#include "app/form.h"
#include "app/locations.h"
#include "app/run.h"
#include "app/session.h"
#include "platform/file_system.h"
#include "platform/system_clock.h"
#include "qt/main_window.h"
#include "qt/qt_dialogs.h"
#include "qt/qt_serial_port.h"
#include "qt/qt_settings.h"

namespace modMain {

int Main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("probe-server-dump"));
  QApplication::setApplicationVersion(QStringLiteral("1.0.0"));

  const tavric::Environment env = tavric::process_environment();
  tavric::qt::FrmProbeServerDump window;
  tavric::qt::QtDialogs dialogs(&window);
  tavric::qt::QtSerialPort port(window, tavric::settings_dir(env));
  tavric::qt::QtSettings settings;
  tavric::SystemClock clock;
  tavric::PosixFileSystem files;
  tavric::Platform platform{
      window,
      dialogs,
      port,
      settings,
      clock,
      files,
      tavric::output_dir(QCoreApplication::applicationDirPath().toStdString(), env)};
  tavric::Session session(platform);

  int status = tavric::kExitCompleted;
  bool ended = false;
  window.on_unload = [&] {
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
  return ended ? status : (window.closed() ? tavric::kExitClosed : loop_status);
}

}  // namespace modMain
