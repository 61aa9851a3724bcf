#pragma once

#include <functional>
#include <string>

#include "link/modem_text.h"
#include "platform/run_log.h"
#include "platform/serial_port.h"

namespace tavric {

// The program's serial port, with everything that passes through it noted in a log:
// the port opened and its settings, the control lines, every byte sent and received
// in hex (one note per write and per read) and the modem's command and reply lines.
// A SIM PIN is hidden wherever it passes: sent to the modem, or echoed back by it.
class TracingSerialPort : public SerialPort {
 public:
  // `device_of` names the device behind a port number, when it is known.
  TracingSerialPort(SerialPort& port, RunLog& log,
                    std::function<std::string(int)> device_of = nullptr)
      : port_(port), log_(log), device_of_(std::move(device_of)) {}

  void set_comm_port(int number) override;
  void set_settings(const std::string& settings) override;
  std::string settings() const override { return port_.settings(); }
  bool open(std::string& error) override;
  void close() override;
  bool is_open() const override { return port_.is_open(); }
  void set_dtr(bool on) override;
  void set_rts(bool on) override;
  std::size_t in_buffer_count() override { return port_.in_buffer_count(); }
  void discard_input() override;
  void output(ByteView bytes) override;
  Bytes input() override;
  void wait_for_input(MonoTime deadline, WindowEvents events, std::size_t bytes) override {
    port_.wait_for_input(deadline, events, bytes);
  }
  MonoTime last_arrival() const override { return port_.last_arrival(); }

 private:
  std::string port_name() const;
  void modem_reply(std::string_view text);
  void end_modem_reply();

  SerialPort& port_;
  RunLog& log_;
  std::function<std::string(int)> device_of_;
  int number_ = 0;
  // After an AT command (or "+++") the line carries the modem's text replies, until
  // the next write that is not a command: then it carries the server's frames.
  bool modem_talk_ = false;
  std::string modem_line_;
  PinFinder sent_pin_;
  PinFinder echoed_pin_;
};

// `bytes` as two-digit upper-case hex, separated by blanks.
std::string hex_bytes(ByteView bytes);

}  // namespace tavric
