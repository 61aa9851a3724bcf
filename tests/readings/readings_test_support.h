#pragma once

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/crc.h"
#include "readings/record.h"
#include "sim/line_device.h"
#include "sim/request_parser.h"
#include "tests/host/test_host.h"

namespace tavric::testing {

// Record bytes from hexadecimal text ("1A 04 D2 ...").
inline RecordBytes Hex(const std::string& text) {
  RecordBytes b{};
  std::istringstream in(text);
  for (auto& byte : b) {
    int v = 0;
    in >> std::hex >> v;
    byte = static_cast<Byte>(v);
  }
  return b;
}

// Puts the check of bytes 0..29 into bytes 30-31, low byte first.
inline RecordBytes Sealed(RecordBytes b) {
  std::int32_t reg = 65535;
  for (std::size_t i = 0; i < 30; ++i) update_crc(reg, b[i]);
  b[30] = static_cast<Byte>(reg & 0xFF);
  b[31] = static_cast<Byte>(reg >> 8);
  return b;
}

// The worked examples: a kind-1 record and a kind-0 record of the same readings.
inline const RecordBytes kKind1 =
    Hex("1A 04 D2 61 B4 0D 00 11 2B 00 5E 04 D2 48 0B B8 48 0B B8 48 0B B8 48 0B B8 48 0B B8 00 00 "
        "97 F6");
inline const RecordBytes kKind0 =
    Hex("00 04 D2 00 11 16 E6 33 15 15 80 24 EB 04 D2 B4 0B B8 B4 0B B8 B4 0B B8 B4 0B B8 B4 0B B8 "
        "00 05");
inline const std::string kKind1Dump =
    "1234,  17 ,2012/03/04 14:05:00,23.50,12.34,18.00,30.00,18.00,30.00,18.00,30.00,18.00,30.00,"
    "18.00,30.00,21.50,3.6,,\r\n";
inline const std::string kKind1Probe =
    "01234, 2012/03/04 14:05:00, 23.5, 012.34, 18.0, 030.00, 18.0, 030.00, 18.0, 030.00, 18.0, "
    "030.00, 18.0, 030.00,3.6\r\n";

// A v5 reply frame: start byte, address FF FF, length, status 1, command, data, CRC.
inline Bytes V5Reply(int command, const Bytes& data) {
  Bytes f{0x5E, 0xFF, 0xFF, static_cast<Byte>(data.size() + 2), 0x01, static_cast<Byte>(command)};
  f.insert(f.end(), data.begin(), data.end());
  std::int32_t reg = 65535;
  for (std::size_t i = 1; i < f.size(); ++i) update_crc(reg, f[i]);
  f.push_back(static_cast<Byte>(reg & 0xFF));
  f.push_back(static_cast<Byte>(reg >> 8));
  return f;
}

// A legacy data-block reply (142 bytes) holding `records` (128 bytes) for `block`.
inline Bytes LegacyBlockReply(int block, const Bytes& records) {
  Bytes f{0x5E,
          0xFF,
          0xFF,
          0xFF,
          142,
          0x01,
          0x00,
          static_cast<Byte>(block >> 8),
          static_cast<Byte>(block & 0xFF),
          0,
          0};
  f.insert(f.end(), records.begin(), records.end());
  int sum = 0;
  for (std::size_t i = 1; i < f.size(); ++i) sum += f[i];
  f.push_back(static_cast<Byte>((sum >> 8) & 0xFF));
  f.push_back(static_cast<Byte>(sum & 0xFF));
  f.push_back(0x5F);
  return f;
}

// A server whose answers the test writes: every well-formed request is logged and
// handed to `on_request`, which may send anything at any time.
class ScriptedServer : public sim::LineDevice {
 public:
  explicit ScriptedServer(sim::RequestParser::Generation generation) : parser_(generation) {}
  void attach(sim::LineEnd& line) override { line_ = &line; }
  void receive(ByteView bytes, MonoTime at) override {
    for (auto& r : parser_.feed(bytes, at)) {
      requests.push_back(r);
      if (on_request) on_request(r, at);
    }
  }
  void send(const Bytes& bytes, MonoTime at) { line_->send(bytes, at); }

  std::function<void(const sim::ParsedRequest&, MonoTime)> on_request;
  std::vector<sim::ParsedRequest> requests;

 private:
  sim::RequestParser parser_;
  sim::LineEnd* line_ = nullptr;
};

// A test host with `server` on port 1, the port open, and a session on it.
struct Bench {
  explicit Bench(sim::LineDevice& server) {
    host.line.attach(1, server);
    host.line.set_comm_port(1);
    std::string error;
    host.line.open(error);
  }
  std::string dump() const { return host.read_output("Tavric Dumps/Dump00.csv"); }
  std::string probe() const { return host.read_output("Tavric Probe Data.csv"); }

  testhost::TestHost host;
  Session s{host.platform};
};

}  // namespace tavric::testing
