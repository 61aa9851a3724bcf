#include "qt/qt_serial_port.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdlib>

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
    : window_(window), settings_folder_(std::move(settings_folder)) {}

bool QtSerialPort::open(std::string& error) {
  if (port_.isOpen()) {
    error = "Port already open";
    return false;
  }
  port_.setPortName(QString::fromStdString(port_device_path(number_, settings_folder_)));
  const LineSettings s = parse_settings(settings_);
  if (!port_.open(QIODevice::ReadWrite)) {
    error = port_.errorString().toStdString();
    return false;
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

void QtSerialPort::wait_for_input(MonoTime deadline, WindowEvents events) {
  const SystemClock clock;
  const auto remaining_ms = [&] {
    const MonoTime left = deadline - clock.monotonic();
    return left <= MonoTime::zero()
               ? 0
               : static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
  };
  if (events == WindowEvents::Hold) {
    if (port_.isOpen() && port_.bytesAvailable() == 0 && remaining_ms() > 0) {
      port_.waitForReadyRead(remaining_ms());
    }
    return;
  }
  window_.check_open();
  if (!port_.isOpen() || port_.bytesAvailable() == 0) {
    const int ms = remaining_ms();
    if (ms > 0) {
      QEventLoop loop;
      QTimer timer;
      timer.setSingleShot(true);
      timer.setTimerType(Qt::PreciseTimer);
      QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
      QObject::connect(&port_, &QSerialPort::readyRead, &loop, &QEventLoop::quit);
      QObject::connect(&window_, &FrmProbeServerDump::closedByUser, &loop, &QEventLoop::quit);
      timer.start(ms);
      loop.exec();
    } else {
      QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
  }
  window_.check_open();
}

}  // namespace tavric::qt
