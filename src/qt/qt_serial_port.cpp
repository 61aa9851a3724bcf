#include "qt/qt_serial_port.h"

#include <sys/ioctl.h>
#include <termios.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "posix/locations.h"
#include "posix/system_clock.h"
#include "qt/main_window.h"

namespace tavric::qt {
namespace {

struct LineSettings {
  qint32 baud = 9600;
  QSerialPort::Parity parity = QSerialPort::NoParity;
  QSerialPort::DataBits data_bits = QSerialPort::Data8;
  QSerialPort::StopBits stop_bits = QSerialPort::OneStop;
};

// "9600,n,8,1": speed, parity letter, data bits, stop bits.
LineSettings parse_settings(const std::string& text) {
  LineSettings s;
  const QStringList parts = QString::fromStdString(text).split(',');
  if (parts.size() > 0 && parts[0].toInt() > 0) s.baud = parts[0].toInt();
  if (parts.size() > 1) {
    const QString p = parts[1].trimmed().toLower();
    if (p == "e") s.parity = QSerialPort::EvenParity;
    if (p == "o") s.parity = QSerialPort::OddParity;
    if (p == "m") s.parity = QSerialPort::MarkParity;
    if (p == "s") s.parity = QSerialPort::SpaceParity;
  }
  if (parts.size() > 2 && parts[2].toInt() >= 5 && parts[2].toInt() <= 8) {
    s.data_bits = static_cast<QSerialPort::DataBits>(parts[2].toInt());
  }
  if (parts.size() > 3 && parts[3].trimmed() == "2") s.stop_bits = QSerialPort::TwoStop;
  return s;
}

}  // namespace

QtSerialPort::QtSerialPort(FrmProbeServerDump& window, std::filesystem::path settings_folder)
    : window_(window), settings_folder_(std::move(settings_folder)) {
  // Every arrival is timed where it is read into the port's buffer, whoever runs the
  // event loop then, so that a wait can tell how long the line has been quiet.
  QObject::connect(&port_, &QSerialPort::readyRead,
                   [this] { last_arrival_ = SystemClock().monotonic(); });
}

bool QtSerialPort::open(std::string& error) {
  if (port_.isOpen()) {
    error = "Port already open";
    return false;
  }
  const std::string device = port_device_path(number_, settings_folder_);
  port_.setPortName(QString::fromStdString(device));
  const LineSettings s = parse_settings(settings_);
  if (!port_.open(QIODevice::ReadWrite)) {
    // Another program has the device: the port's lock file says so ("Permission error
    // while locking the device"), or the device refuses a second open ("Device or
    // resource busy").
    const QString why = port_.errorString();
    const bool in_use = port_.error() == QSerialPort::PermissionError &&
                        (why.contains(QStringLiteral("lock"), Qt::CaseInsensitive) ||
                         why.contains(QStringLiteral("busy"), Qt::CaseInsensitive));
    error = in_use ? "Port in use: " + device + " is open in another program" : why.toStdString();
    return false;
  }
  // No other program may open the device while the run has it: two runs on one device
  // would take each other's replies. (The system lets an administrator open it still;
  // the port's lock file keeps out every program that honours it.)
  ::ioctl(static_cast<int>(port_.handle()), TIOCEXCL);
  last_arrival_ = SystemClock().monotonic();
  // The port's own watch on its device, which a wait may pause (see sleep_unwatched).
  read_notifier_ = nullptr;
  for (QSocketNotifier* n : port_.findChildren<QSocketNotifier*>()) {
    if (n->type() == QSocketNotifier::Read) read_notifier_ = n;
  }
  // A pseudo-terminal refuses some of these; the line still works, so only the
  // open itself decides.
  port_.setBaudRate(s.baud);
  port_.setParity(s.parity);
  port_.setDataBits(s.data_bits);
  port_.setStopBits(s.stop_bits);
  port_.setFlowControl(QSerialPort::NoFlowControl);
  error.clear();
  return true;
}

void QtSerialPort::close() {
  if (port_.isOpen()) port_.close();
}

void QtSerialPort::set_dtr(bool on) {
  if (port_.isOpen()) port_.setDataTerminalReady(on);  // false on a pty: no modem lines
}

void QtSerialPort::set_rts(bool on) {
  if (port_.isOpen()) port_.setRequestToSend(on);
}

std::size_t QtSerialPort::in_buffer_count() {
  if (!port_.isOpen()) return 0;
  return static_cast<std::size_t>(port_.bytesAvailable());
}

void QtSerialPort::discard_input() {
  if (!port_.isOpen()) return;
  port_.clear(QSerialPort::Input);
  port_.readAll();
}

void QtSerialPort::output(ByteView bytes) {
  if (!port_.isOpen() || bytes.empty()) return;
  port_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
  port_.flush();  // out now, not at the next turn of the event loop
  if (on_bytes) on_bytes(true, bytes);
}

Bytes QtSerialPort::input() {
  if (!port_.isOpen()) return {};
  const QByteArray data = port_.readAll();
  Bytes out(data.begin(), data.end());
  if (on_bytes && !out.empty()) on_bytes(false, out);
  return out;
}

void QtSerialPort::wait_for_input(MonoTime deadline, WindowEvents events, std::size_t bytes) {
  const SystemClock clock;
  const qint64 wanted = static_cast<qint64>(std::max<std::size_t>(bytes, 1));
  const auto remaining_ms = [&] {
    const MonoTime left = deadline - clock.monotonic();
    return left <= MonoTime::zero()
               ? 0
               : static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
  };
  const auto enough = [&] { return port_.isOpen() && port_.bytesAvailable() >= wanted; };
  if (events == WindowEvents::Hold) {
    while (!enough() && remaining_ms() > 0) {
      // A port that is gone has nothing to wait for but the deadline.
      if (!port_.isOpen() || !port_.waitForReadyRead(remaining_ms())) {
        std::this_thread::sleep_for(std::chrono::milliseconds(remaining_ms()));
      }
    }
    return;
  }
  window_.check_open();
  // Bytes of a piece are coming in: the rest cannot all be here before they have had
  // their line time, and until then the device is not even watched, so that a line
  // that hands bytes over one or two at a time wakes nobody for each of them.
  const qint64 have = port_.isOpen() ? port_.bytesAvailable() : 0;
  if (have > 0 && have < wanted) {
    const MonoTime earliest =
        clock.monotonic() +
        line_time(settings_baud(settings_), static_cast<std::size_t>(wanted - have));
    sleep_unwatched(std::min(earliest, deadline));
  }
  if (!enough()) {
    const int ms = remaining_ms();
    if (ms > 0) {
      QEventLoop loop;
      QTimer timer;
      timer.setSingleShot(true);
      timer.setTimerType(Qt::PreciseTimer);
      QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
      // Bytes short of `wanted` are left in the buffer without waking the run.
      QObject::connect(&port_, &QSerialPort::readyRead, &loop, [&] {
        if (enough()) loop.quit();
      });
      QObject::connect(&window_, &FrmProbeServerDump::closedByUser, &loop, &QEventLoop::quit);
      timer.start(ms);
      loop.exec();
    } else {
      QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
  }
  window_.check_open();
}

void QtSerialPort::sleep_unwatched(MonoTime until) {
  const MonoTime left = until - SystemClock().monotonic();
  if (!read_notifier_ || !port_.isOpen() || left <= MonoTime::zero()) return;
  read_notifier_->setEnabled(false);
  {
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&window_, &FrmProbeServerDump::closedByUser, &loop, &QEventLoop::quit);
    timer.start(static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count()));
    loop.exec();
  }
  if (!read_notifier_) return;
  read_notifier_->setEnabled(true);
  // What came meanwhile is taken in one read now. Its last byte came no later than now,
  // which is when it is taken to have come: a reply that stopped part way is waited
  // for at most one piece's line time longer, never shorter.
  if (port_.isOpen()) port_.waitForReadyRead(0);
}

}  // namespace tavric::qt
