#include "app/tracing_serial_port.h"

#include <cctype>
#include <cstdio>
#include <string_view>
#include <vector>

#include "link/modem_text.h"
#include "platform/escaped.h"

namespace tavric {
namespace {

std::string_view as_text(ByteView bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

bool is_modem_command(std::string_view text) {
  return text == "+++" ||
         (text.size() >= 2 && std::toupper(static_cast<unsigned char>(text[0])) == 'A' &&
          std::toupper(static_cast<unsigned char>(text[1])) == 'T');
}

// The bytes in hex, and as text, with the bytes of a PIN shown as "**" and '*'.
void hide_pin(const std::vector<bool>& secret, std::string& hex, std::string& text) {
  for (std::size_t i = 0; i < secret.size(); ++i) {
    if (!secret[i]) continue;
    hex.replace(i * 3, 2, "**");
    text[i] = '*';
  }
}

}  // namespace

std::string hex_bytes(ByteView bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out(bytes.empty() ? 0 : bytes.size() * 3 - 1, ' ');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out[3 * i] = kDigits[bytes[i] >> 4];
    out[3 * i + 1] = kDigits[bytes[i] & 0x0F];
  }
  return out;
}

std::string TracingSerialPort::port_name() const {
  std::string name = "com" + std::to_string(number_);
  if (device_of_) name += " (" + device_of_(number_) + ")";
  return name;
}

void TracingSerialPort::set_comm_port(int number) {
  number_ = number;
  port_.set_comm_port(number);
}

void TracingSerialPort::set_settings(const std::string& settings) {
  log_.note("port settings " + settings);
  port_.set_settings(settings);
}

bool TracingSerialPort::open(std::string& error) {
  const bool opened = port_.open(error);
  modem_talk_ = false;
  modem_line_.clear();
  if (opened) {
    log_.note("port " + port_name() + " opened at " + port_.settings());
  } else {
    log_.note("port " + port_name() + " cannot be opened at " + port_.settings() + ": " + error);
  }
  return opened;
}

void TracingSerialPort::close() {
  if (port_.is_open()) {
    end_modem_reply();
    log_.note("port " + port_name() + " closed");
  }
  port_.close();
}

void TracingSerialPort::set_dtr(bool on) {
  log_.note(std::string("port DTR ") + (on ? "on" : "off"));
  port_.set_dtr(on);
}

void TracingSerialPort::set_rts(bool on) {
  log_.note(std::string("port RTS ") + (on ? "on" : "off"));
  port_.set_rts(on);
}

void TracingSerialPort::discard_input() {
  // Taken first so that the trace shows what was thrown away (a late reply, noise).
  const Bytes dropped = port_.input();
  port_.discard_input();
  if (dropped.empty()) return;
  std::string hex = hex_bytes(dropped);
  std::string shown(as_text(dropped));
  hide_pin(echoed_pin_.feed(shown), hex, shown);
  log_.note("port < " + hex + " (discarded)");
}

void TracingSerialPort::output(ByteView bytes) {
  if (bytes.empty() || !port_.is_open()) {
    port_.output(bytes);
    return;
  }
  const std::string_view text = as_text(bytes);
  const bool command = is_modem_command(text);
  if (!command) end_modem_reply();
  modem_talk_ = command;

  // Everything is sent as given; only the notes hide the PIN.
  std::string hex = hex_bytes(bytes);
  std::string shown(text);
  hide_pin(sent_pin_.feed(text), hex, shown);
  log_.note("port > " + hex);
  if (command) {
    std::string line = shown;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    log_.note("modem > " + escaped(line, Escape::AllButAscii));
  }
  port_.output(bytes);
}

Bytes TracingSerialPort::input() {
  Bytes bytes = port_.input();
  if (!bytes.empty()) {
    // A modem whose echo is on sends a PIN command back: its PIN is hidden too.
    std::string hex = hex_bytes(bytes);
    std::string shown(as_text(bytes));
    hide_pin(echoed_pin_.feed(shown), hex, shown);
    log_.note("port < " + hex);
    if (modem_talk_) modem_reply(shown);
  }
  return bytes;
}

void TracingSerialPort::modem_reply(std::string_view text) {
  for (const char c : text) {
    if (c == '\r' || c == '\n') {
      end_modem_reply();
    } else {
      modem_line_ += c;
    }
  }
}

void TracingSerialPort::end_modem_reply() {
  if (!modem_line_.empty()) log_.note("modem < " + escaped(modem_line_, Escape::AllButAscii));
  modem_line_.clear();
}

}  // namespace tavric
