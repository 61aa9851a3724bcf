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
#include "qt/tty_speed.h"

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

// `text` with its speed replaced by `baud`.
std::string with_speed(const std::string& text, int baud) {
  const std::size_t comma = text.find(',');
  return std::to_string(baud) + (comma == std::string::npos ? "" : text.substr(comma));
}

}  // namespace

QtSerialPort::QtSerialPort(FrmProbeServerDump& window, std::filesystem::path settings_folder)
    : window_(window), settings_folder_(std::move(settings_folder)) {
  // Every arrival is timed where it is read into the port's buffer, whoever runs the
  // event loop then, so that a wait can tell how long the line has been quiet; one that
  // watches the port ends with it.
  QObject::connect(&port_, &QSerialPort::readyRead, [this] {
    last_arrival_ = SystemClock().monotonic();
    if (loop_ && watching_) loop_->quit();
  });
  wait_timer_.setSingleShot(true);
  wait_timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&wait_timer_, &QTimer::timeout, [this] {
    if (loop_) loop_->quit();
  });
  QObject::connect(&window_, &FrmProbeServerDump::closedByUser, [this] {
    if (loop_) loop_->quit();
  });
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
  has_modem_lines_ = true;
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
  // The speed the driver really took, read back, is the one the run goes by.
  if (const int taken = tty_speed(static_cast<int>(port_.handle())); taken > 0) {
    settings_ = with_speed(settings_, taken);
  }
  error.clear();
  return true;
}

void QtSerialPort::close() {
  if (port_.isOpen()) port_.close();
}

// A device without modem control lines (a pseudo-terminal, some adapters) refuses
// them; it is not asked again until the port is opened anew, since each refusal costs
// the port an error report.
void QtSerialPort::set_dtr(bool on) {
  if (port_.isOpen() && has_modem_lines_) has_modem_lines_ = port_.setDataTerminalReady(on);
}

void QtSerialPort::set_rts(bool on) {
  if (port_.isOpen() && has_modem_lines_) has_modem_lines_ = port_.setRequestToSend(on);
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
  last_output_ = SystemClock().monotonic();
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
  const int baud = settings_baud(settings_);
  // A sleep through a piece ends this long before its last byte can be in, so that the
  // timer's millisecond steps never make the run late for it: the last bytes wake the
  // run as they come.
  const MonoTime margin = std::max(line_time(baud, 2), MonoTime(std::chrono::microseconds(1500)));
  bool unwatched = true;  // whether bytes may have come that the port has not read
  for (;;) {
    if (unwatched && port_.isOpen()) port_.waitForReadyRead(0);  // what the device holds
    if (enough() || !port_.isOpen() || clock.monotonic() >= deadline) break;
    const auto need = static_cast<std::size_t>(wanted - port_.bytesAvailable());
    // While bytes are coming in, the rest cannot all be here before their line time,
    // and until then the device is not even watched, so that a line that hands bytes
    // over one or two at a time wakes nobody for each of them. A quiet line is watched
    // for its first byte.
    // (Bytes are coming in when the last one came after the last request went out, and
    // came just now.)
    const MonoTime now = clock.monotonic();
    const bool flowing = last_arrival_ > last_output_ && now - last_arrival_ <= line_time(baud, 2);
    const MonoTime until = std::min(deadline, now + line_time(baud, need) - margin);
    unwatched = flowing && read_notifier_ && until - now >= std::chrono::milliseconds(1);
    sleep_until(unwatched ? until : deadline, /*watch_port=*/!unwatched);
    window_.check_open();
  }
  window_.check_open();
}

void QtSerialPort::sleep_until(MonoTime until, bool watch_port) {
  const MonoTime left = until - SystemClock().monotonic();
  if (left <= MonoTime::zero()) return;
  if (!watch_port) read_notifier_->setEnabled(false);
  QEventLoop loop;
  loop_ = &loop;
  watching_ = watch_port;
  wait_timer_.start(static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count()));
  loop.exec();
  wait_timer_.stop();
  loop_ = nullptr;
  // Bytes that came while the device was not watched are taken in by the next read;
  // their last one came no later than then, which is when it is taken to have come: a
  // reply that stopped part way is waited for at most that much longer, never shorter.
  if (!watch_port && read_notifier_) read_notifier_->setEnabled(true);
}

}  // namespace tavric::qt
