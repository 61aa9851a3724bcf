#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <filesystem>

#include "posix/system_clock.h"
#include "qt/main_window.h"
#include "qt/qt_digest.h"
#include "qt/qt_serial_port.h"
#include "qt/qt_settings.h"
#include "tests/host/sha256_vectors.h"

namespace tavric {
namespace {

// A pseudo-terminal whose slave the port opens through a comN link.
struct Pty {
  Pty() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(master);
    unlockpt(master);
    slave = ptsname(master);
    termios t{};
    tcgetattr(master, &t);
    cfmakeraw(&t);
    tcsetattr(master, TCSANOW, &t);
  }
  ~Pty() { close(master); }
  int master;
  std::string slave;
};

TEST(QtPlatform, SettingsLiveInTheRnq7ConfigFile) {
  QTemporaryDir dir;
  qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
  {
    qt::QtSettings settings;
    EXPECT_EQ(settings.get("Port", "0"), "0");
    settings.set("Port", "3");
    EXPECT_EQ(settings.get("Port", "0"), "3");
  }
  QFile conf(dir.path() + "/RNQ7/RNQ7.conf");
  ASSERT_TRUE(conf.open(QIODevice::ReadOnly));
  const QByteArray text = conf.readAll();
  EXPECT_TRUE(text.contains("[Startup]"));
  EXPECT_TRUE(text.contains("Port=3"));
}

TEST(QtPlatform, SerialPortOnAPseudoTerminalExchangesBytesAndWaits) {
  Pty pty;
  const auto folder = std::filesystem::temp_directory_path() / "tavric-qt-port-test";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  std::filesystem::create_symlink(pty.slave, folder / "com5");

  qt::FrmProbeServerDump window;
  qt::QtSerialPort port(window, folder);
  std::string error;
  port.set_comm_port(5);
  port.set_settings("56000,n,8,1");
  ASSERT_TRUE(port.open(error)) << error;
  EXPECT_TRUE(port.is_open());
  port.set_dtr(false);  // a pty has no modem lines: harmless
  port.set_rts(true);

  const Bytes request{0x00, 0x5E, 0xFF};
  port.output(request);
  char got[8] = {};
  ASSERT_EQ(read(pty.master, got, sizeof got), 3);
  EXPECT_EQ(static_cast<unsigned char>(got[1]), 0x5E);

  // A silent line: the wait sleeps to its deadline and no longer.
  SystemClock clock;
  const MonoTime start = clock.monotonic();
  port.wait_for_input(start + seconds_f(0.2), WindowEvents::Process, 1);
  const double waited = std::chrono::duration<double>(clock.monotonic() - start).count();
  EXPECT_GE(waited, 0.19);
  EXPECT_LT(waited, 0.4);
  EXPECT_EQ(port.in_buffer_count(), 0U);

  // Bytes from the far end end the wait early.
  ASSERT_EQ(write(pty.master, "\x5E\x01", 2), 2);
  const MonoTime before = clock.monotonic();
  port.wait_for_input(before + seconds_f(2.0), WindowEvents::Process, 1);
  EXPECT_LT(std::chrono::duration<double>(clock.monotonic() - before).count(), 1.0);
  const Bytes in = port.input();
  ASSERT_EQ(in.size(), 2U);
  EXPECT_EQ(in[0], 0x5E);

  ASSERT_EQ(write(pty.master, "xyz", 3), 3);
  port.wait_for_input(clock.monotonic() + seconds_f(1.0), WindowEvents::Hold, 1);
  port.discard_input();
  EXPECT_EQ(port.in_buffer_count(), 0U);
  port.close();
  EXPECT_FALSE(port.is_open());
  std::filesystem::remove_all(folder);
}

TEST(QtPlatform, DigestIsSha256) {
  testhost::expect_sha256(QtDigest());
}

}  // namespace
}  // namespace tavric
