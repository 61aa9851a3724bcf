#pragma once

#include <windows.h>

#include "platform/serial_port.h"
#include "win/device_claim.h"

namespace tavric::win {

class MainWindow;

// The program's serial port on the Win32 communications API. Port N is \\.\COMN,
// opened for this program alone. One read of a single byte is always pending, so that
// a wait sleeps on its event (and on the window's messages) until a byte comes; the
// bytes queued behind it are then taken at once.
class WinSerialPort : public SerialPort {
 public:
  explicit WinSerialPort(MainWindow* window) : window_(window) {}
  ~WinSerialPort() override;
  WinSerialPort(const WinSerialPort&) = delete;
  WinSerialPort& operator=(const WinSerialPort&) = delete;

  void set_comm_port(int number) override { number_ = number; }
  void set_settings(const std::string& settings) override { settings_ = settings; }
  std::string settings() const override { return settings_; }
  bool open(std::string& error) override;
  void close() override;
  bool is_open() const override { return port_ != INVALID_HANDLE_VALUE; }
  void set_dtr(bool on) override;
  void set_rts(bool on) override;
  std::size_t in_buffer_count() override;
  void discard_input() override;
  void output(ByteView bytes) override;
  Bytes input() override;
  void wait_for_input(MonoTime deadline, WindowEvents events, std::size_t bytes) override;
  MonoTime last_arrival() const override { return last_arrival_; }

 private:
  void configure();
  void collect();
  bool start_read();
  void take_waiting();

  MainWindow* window_;  // null: waits never handle window messages (tests without one)
  int number_ = 1;
  std::string settings_ = kSettings9600;
  HANDLE port_ = INVALID_HANDLE_VALUE;
  DeviceClaim claim_;  // held while the port is open
  HANDLE read_event_ = nullptr;
  OVERLAPPED read_{};
  Byte read_byte_ = 0;
  bool read_pending_ = false;
  // The pending read ended without a byte (a line that went away): the next one is
  // started only after a pause, so that a dead line is never read in a tight loop.
  bool read_stalled_ = false;
  Bytes received_;
  MonoTime last_arrival_{0};
  MonoTime last_output_{0};
};

}  // namespace tavric::win
