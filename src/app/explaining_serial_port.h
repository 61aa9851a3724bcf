#pragma once

#include "platform/port_list.h"
#include "platform/serial_port.h"

namespace tavric {

// The program's serial port, whose failures to open are told in words a field user
// understands: the device behind the number, why it would not open and what to do,
// with the ports that are there when the one asked for is not.
class ExplainingSerialPort : public SerialPort {
 public:
  ExplainingSerialPort(SerialPort& port, PortList& ports) : port_(port), ports_(ports) {}

  void set_comm_port(int number) override {
    number_ = number;
    port_.set_comm_port(number);
  }
  void set_settings(const std::string& settings) override { port_.set_settings(settings); }
  std::string settings() const override { return port_.settings(); }
  bool open(std::string& error) override;
  void close() override { port_.close(); }
  bool is_open() const override { return port_.is_open(); }
  void set_dtr(bool on) override { port_.set_dtr(on); }
  void set_rts(bool on) override { port_.set_rts(on); }
  std::size_t in_buffer_count() override { return port_.in_buffer_count(); }
  void discard_input() override { port_.discard_input(); }
  void output(ByteView bytes) override { port_.output(bytes); }
  Bytes input() override { return port_.input(); }
  void wait_for_input(MonoTime deadline, WindowEvents events, std::size_t bytes) override {
    port_.wait_for_input(deadline, events, bytes);
  }
  MonoTime last_arrival() const override { return port_.last_arrival(); }

 private:
  SerialPort& port_;
  PortList& ports_;
  int number_ = 0;
};

}  // namespace tavric
