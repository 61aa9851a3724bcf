#pragma once

#include <QEventLoop>
#include <QPointer>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QTimer>
#include <filesystem>
#include <functional>

#include "platform/serial_port.h"

namespace tavric::qt {

class FrmProbeServerDump;

// The program's serial port on QSerialPort. Port numbers map to devices by the
// comN links of the settings folder; a port is opened for this program alone; waits
// sleep in the event loop.
class QtSerialPort : public SerialPort {
 public:
  QtSerialPort(FrmProbeServerDump& window, std::filesystem::path settings_folder);

  void set_comm_port(int number) override { number_ = number; }
  void set_settings(const std::string& settings) override { settings_ = settings; }
  std::string settings() const override { return settings_; }
  bool open(std::string& error) override;
  void close() override;
  bool is_open() const override { return port_.isOpen(); }
  void set_dtr(bool on) override;
  void set_rts(bool on) override;
  std::size_t in_buffer_count() override;
  void discard_input() override;
  void output(ByteView bytes) override;
  Bytes input() override;
  void wait_for_input(MonoTime deadline, WindowEvents events, std::size_t bytes) override;
  MonoTime last_arrival() const override { return last_arrival_; }

  // Every byte in and out, for a trace (optional).
  std::function<void(bool sent, ByteView bytes)> on_bytes;

 private:
  // Sleeps until `until` while the window handles its events; with `watch_port` an
  // arriving byte ends the sleep, without it the device is not even watched.
  void sleep_until(MonoTime until, bool watch_port);

  FrmProbeServerDump& window_;
  std::filesystem::path settings_folder_;
  QSerialPort port_;
  int number_ = 1;
  std::string settings_ = kSettings9600;
  MonoTime last_arrival_{0};
  MonoTime last_output_{0};
  bool has_modem_lines_ = true;
  QPointer<QSocketNotifier> read_notifier_;
  QTimer wait_timer_;           // ends the sleep in progress
  QEventLoop* loop_ = nullptr;  // the sleep in progress
  bool watching_ = false;       // it ends at an arriving byte
};

}  // namespace tavric::qt
