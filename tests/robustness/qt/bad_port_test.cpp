#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QInputDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "platform/run_control.h"
#include "posix/system_clock.h"
#include "qt/main_window.h"
#include "qt/qt_dialogs.h"
#include "qt/qt_serial_port.h"

namespace tavric {
namespace {

namespace fs = std::filesystem;

// comN links that lead to things that are no serial port: opening fails with a reason
// (which the port prompt shows) and nothing hangs or crashes.
TEST(BadPort, LinksToWhatIsNoSerialPort) {
  QTemporaryDir dir;
  const fs::path folder = dir.path().toStdString();
  fs::create_directory(folder / "a-folder");
  std::ofstream(folder / "a-file") << "not a port\n";
  ::mkfifo((folder / "a-fifo").c_str(), 0600);
  fs::create_symlink(folder / "a-folder", folder / "com2");
  fs::create_symlink(folder / "a-file", folder / "com3");
  fs::create_symlink("/dev/null", folder / "com4");
  fs::create_symlink(folder / "nothing-there", folder / "com5");
  fs::create_symlink(folder / "a-fifo", folder / "com6");

  qt::FrmProbeServerDump window;
  qt::QtSerialPort port(window, folder);
  for (int number = 2; number <= 6; ++number) {
    port.set_comm_port(number);
    std::string error;
    const bool opened = port.open(error);
    EXPECT_FALSE(opened) << "com" << number;
    EXPECT_FALSE(error.empty()) << "com" << number;
    if (opened) {
      // Should one open after all, it must still behave as a silent line.
      port.output(Bytes{0x00, 0x5E});
      SystemClock clock;
      const MonoTime start = clock.monotonic();
      port.wait_for_input(start + seconds_f(0.2), WindowEvents::Process, 1);
      EXPECT_LT(clock.monotonic() - start, seconds_f(1.0)) << "com" << number;
      port.input();
      port.close();
    }
  }
}

// A prompt for a port shows the ports found below its own text; other prompts do not.
TEST(BadPort, PortPromptsShowThePortsFound) {
  qt::FrmProbeServerDump window;
  qt::QtDialogs dialogs(window);
  dialogs.port_note = [] {
    return std::string("Ports found on this computer:\ncom101 /dev/ttyUSB0");
  };
  const auto shown = [&](const std::string& title) {
    QString label;
    QTimer::singleShot(0, [&] {
      if (auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
        label = box->labelText();
        box->accept();
      }
    });
    dialogs.prompt(title, "Please enter the serial port number.", "");
    return label.toStdString();
  };
  EXPECT_EQ(shown("Serial Port"),
            "Please enter the serial port number.\n\nPorts found on this computer:\ncom101 "
            "/dev/ttyUSB0");
  EXPECT_EQ(shown("Cell Number"), "Please enter the serial port number.");
}

}  // namespace
}  // namespace tavric
