#pragma once

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "protocol/crc.h"
#include "protocol/line.h"
#include "session/feedback.h"
#include "sim/faults.h"
#include "sim/line_device.h"
#include "tests/host/test_host.h"

namespace tavric::testing {

struct Piece {
  double pause;  // seconds after the previous piece has gone out
  Bytes bytes;
};

// Answers each of the first `answered` requests (writes of five bytes or more, so not
// the v5 lead byte) with the same pieces, 20 ms after the request has arrived.
class FixedReplies : public sim::LineDevice {
 public:
  explicit FixedReplies(std::vector<Piece> reply, int answered = 1000)
      : reply_(std::move(reply)), answered_(answered) {}
  void attach(sim::LineEnd& line) override { line_ = &line; }
  void receive(ByteView bytes, MonoTime at) override {
    if (bytes.size() < 5 || ++requests > answered_) return;
    MonoTime t = at + std::chrono::milliseconds(20);
    for (const Piece& p : reply_) {
      line_->send(p.bytes, t += seconds_f(p.pause));
      t += sim::byte_time(9600) * static_cast<long>(p.bytes.size());
    }
  }
  int requests = 0;

 private:
  std::vector<Piece> reply_;
  int answered_;
  sim::LineEnd* line_ = nullptr;
};

inline Bytes legacy_frame(const Bytes& data, Byte status = 1) {  // data from position 6 on
  Bytes f{0x5E, 0xFF, 0xFF, 0xFF, static_cast<Byte>(data.size() + 9), status};
  f.insert(f.end(), data.begin(), data.end());
  int sum = 0;
  for (std::size_t i = 1; i < f.size(); ++i) sum += f[i];
  f.insert(f.end(), {static_cast<Byte>(sum / 256), static_cast<Byte>(sum % 256), 0x5F});
  return f;
}

inline Bytes v5_frame(Byte command, const Bytes& data, Byte status = 1) {
  Bytes f{0x5E, 0xFF, 0xFF, static_cast<Byte>(data.size() + 2), status, command};
  f.insert(f.end(), data.begin(), data.end());
  std::int32_t crc = 0xFFFF;
  for (std::size_t i = 1; i < f.size(); ++i) update_crc(crc, f[i]);
  f.insert(f.end(), {static_cast<Byte>(crc % 256), static_cast<Byte>(crc / 256)});
  return f;
}

// Positions `from` to `from + n - 1`, counting from 0; fewer when `c` ends before.
template <typename C>
Bytes slice(const C& c, std::size_t from, std::size_t n) {
  const std::size_t first = std::min(from, c.size());
  const std::size_t last = std::min(first + n, c.size());
  return Bytes(c.begin() + static_cast<long>(first), c.begin() + static_cast<long>(last));
}

// A server config with the fault plan of one item such as "silent=2,3" ("" for none).
template <typename Config>
Config with_fault(const std::string& item) {
  Config config;
  if (!item.empty() && !sim::add_fault(config.faults, item).empty()) {
    throw std::invalid_argument(item);
  }
  return config;
}

// The line of port 1, open, with `device` at the far end (none: a silent line).
struct Bench {
  explicit Bench(sim::LineDevice* device = nullptr) {
    if (device) host.line.attach(1, *device);
    std::string error;
    host.line.open(error);
  }
  double elapsed() const {
    return std::chrono::duration<double>(host.clock.monotonic() - start).count();
  }
  testhost::TestHost host;
  Feedback feedback{host.window};
  Line line{host.line, host.clock, feedback, nullptr};
  MonoTime start = host.clock.monotonic();
};

}  // namespace tavric::testing
