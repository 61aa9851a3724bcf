#pragma once

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/crc.h"
#include "protocol/line.h"
#include "protocol/status.h"
#include "readings/low_battery.h"
#include "readings/output_files.h"
#include "readings/record.h"
#include "readings/record_writer.h"
#include "session/feedback.h"
#include "sim/request_parser.h"
#include "tests/host/test_host.h"

namespace tavric::testing {

inline RecordBytes Hex(const std::string& text) {  // "1A 04 D2 ...", the rest 0
  RecordBytes b{};
  std::istringstream in(text);
  for (int v = 0; auto& byte : b) byte = static_cast<Byte>(in >> std::hex >> v ? v : 0);
  return b;
}

inline RecordBytes Sealed(RecordBytes b) {  // the check of bytes 0..29 in bytes 30-31
  std::int32_t reg = 65535;
  for (std::size_t i = 0; i < 30; ++i) update_crc(reg, b[i]);
  b[30] = static_cast<Byte>(reg & 0xFF), b[31] = static_cast<Byte>(reg >> 8);
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

inline Bytes V5Reply(int command, const Bytes& data) {  // address FF FF, status 1, CRC
  Bytes f{0x5E, 0xFF, 0xFF, static_cast<Byte>(data.size() + 2), 0x01, static_cast<Byte>(command)};
  f.insert(f.end(), data.begin(), data.end());
  std::int32_t reg = 65535;
  for (std::size_t i = 1; i < f.size(); ++i) update_crc(reg, f[i]);
  f.insert(f.end(), {static_cast<Byte>(reg & 0xFF), static_cast<Byte>(reg >> 8)});
  return f;
}

// A v5 server whose answers the test writes in `on_request`.
struct ScriptedServer : sim::LineDevice {
  void attach(sim::LineEnd& l) override { line = &l; }
  void receive(ByteView bytes, MonoTime at) override {
    for (auto& r : parser.feed(bytes, at)) requests.push_back(r), on_request(r, at);
  }
  std::function<void(const sim::ParsedRequest&, MonoTime)> on_request;
  std::vector<sim::ParsedRequest> requests;
  sim::RequestParser parser{sim::RequestParser::Generation::V5};
  sim::LineEnd* line = nullptr;
};

// The open port 1 with `server` at the far end, the output files prepared, and the
// status the download works from.
struct Bench {
  explicit Bench(sim::LineDevice& server) {
    host.line.attach(1, server);
    std::string error;
    host.line.open(error);
    output.PrepareOutputFiles();
  }
  std::vector<std::string> DumpLines() {  // after the header, without line ends
    output.CloseOutputFiles();
    std::vector<std::string> lines;
    std::stringstream in(host.read_output("Tavric Dumps/Dump00.csv"));
    for (std::string line; std::getline(in, line);)
      lines.push_back(line.substr(0, line.size() - 1));
    lines.erase(lines.begin());
    return lines;
  }
  std::string probe() const { return host.read_output("Tavric Probe Data.csv"); }

  testhost::TestHost host;
  Feedback feedback{host.platform.window};
  Line line{host.platform.port, host.platform.clock, feedback, host.platform.log};
  OutputFiles output{host.platform.files, host.platform.output_dir, host.platform.log};
  LowBatteries low_batteries;
  RecordWriter out{output, low_batteries};
  ServerStatus status;
};

}  // namespace tavric::testing
