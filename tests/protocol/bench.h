#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "app/session.h"
#include "protocol/crc.h"
#include "sim/faults.h"
#include "sim/line_device.h"
#include "tests/host/test_host.h"

namespace tavric::testing {

// One piece of a reply, sent `pause` seconds after the previous one has gone out.
struct Piece {
  double pause;
  Bytes bytes;
};

// A far end that answers every request (any write of five bytes or more, so not the v5
// lead byte) with the same pieces, 20 ms after the request has arrived; requests after
// the first `answered` go unanswered.
class FixedReplies : public sim::LineDevice {
 public:
  explicit FixedReplies(std::vector<Piece> reply) : reply_(std::move(reply)) {}
  void attach(sim::LineEnd& line) override { line_ = &line; }
  void receive(ByteView bytes, MonoTime at) override {
    if (bytes.size() < 5 || ++requests > answered) return;
    MonoTime t = at + std::chrono::milliseconds(20);
    for (const Piece& p : reply_) {
      t += seconds_f(p.pause);
      line_->send(p.bytes, t);
      t += sim::byte_time(9600) * static_cast<long>(p.bytes.size());
    }
  }
  int requests = 0;
  int answered = 1000;

 private:
  std::vector<Piece> reply_;
  sim::LineEnd* line_ = nullptr;
};

inline Bytes legacy_frame(const Bytes& data) {  // data from position 7 on
  Bytes f{0x5E, 0xFF, 0xFF, 0xFF, static_cast<Byte>(data.size() + 9), 1};
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

inline Bytes slice(const Bytes& b, std::size_t from, std::size_t n) {  // positions from 1
  return Bytes(b.begin() + static_cast<long>(from - 1),
               b.begin() + static_cast<long>(from - 1 + n));
}

// A fault plan from one item such as "silent=2,3" (empty: none).
inline sim::FaultPlan faults(const std::string& item) {
  sim::FaultPlan plan;
  if (!item.empty() && !sim::add_fault(plan, item).empty()) throw std::invalid_argument(item);
  return plan;
}

// A session with port 1 open; `device` (none: a silent line) at the far end.
struct Bench {
  explicit Bench(sim::LineDevice* device = nullptr) {
    if (device) host.line.attach(1, *device);
    host.line.set_comm_port(1);
    std::string error;
    host.line.open(error);
    start = host.clock.monotonic();
  }
  double elapsed() const {
    return std::chrono::duration<double>(host.clock.monotonic() - start).count();
  }
  testhost::TestHost host;
  Session s{host.platform};
  MonoTime start;
};

}  // namespace tavric::testing
