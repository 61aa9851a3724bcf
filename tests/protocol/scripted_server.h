#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/session.h"
#include "protocol/crc.h"
#include "sim/line_device.h"
#include "tests/host/test_host.h"

namespace tavric::testing {

// One piece of a reply, sent `pause` seconds after the previous piece has gone out
// (the first after the request and the turnaround).
struct Piece {
  double pause;
  Bytes bytes;
};
using Reply = std::vector<Piece>;  // empty: no answer

// A far end that cuts its input into request frames (legacy or v5) and answers each
// with whatever the script makes of it.
class ScriptedServer : public sim::LineDevice {
 public:
  using Script = std::function<Reply(const Bytes& request, int number)>;
  ScriptedServer(bool v5, Script script) : v5_(v5), script_(std::move(script)) {}

  void attach(sim::LineEnd& line) override { line_ = &line; }
  void receive(ByteView bytes, MonoTime at) override {
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    while (!pending_.empty() && pending_[0] != 0x5E) pending_.erase(pending_.begin());
    const std::size_t len_pos = v5_ ? 3 : 4, extra = v5_ ? 6 : 3;
    if (pending_.size() <= len_pos || pending_.size() < pending_[len_pos] + extra) return;
    requests.push_back(pending_);
    pending_.clear();
    MonoTime t = at + turnaround;
    for (const Piece& p : script_(requests.back(), static_cast<int>(requests.size()))) {
      t += seconds_f(p.pause);
      line_->send(p.bytes, t);
      t += sim::byte_time(baud) * static_cast<long>(p.bytes.size());
    }
    if (after_reply) after_reply(requests.back(), *line_, t);
  }

  std::vector<Bytes> requests;
  int baud = 9600;
  MonoTime turnaround = std::chrono::milliseconds(20);
  std::function<void(const Bytes&, sim::LineEnd&, MonoTime)> after_reply;

 private:
  bool v5_;
  Script script_;
  sim::LineEnd* line_ = nullptr;
  Bytes pending_;
};

// A legacy reply carrying `data` from position 7 on.
inline Bytes legacy_frame(const Bytes& data, Byte status = 1) {
  Bytes f{0x5E, 0xFF, 0xFF, 0xFF, static_cast<Byte>(data.size() + 9), status};
  f.insert(f.end(), data.begin(), data.end());
  int sum = 0;
  for (std::size_t i = 1; i < f.size(); ++i) sum += f[i];
  f.insert(f.end(), {static_cast<Byte>(sum / 256), static_cast<Byte>(sum % 256), 0x5F});
  return f;
}

// A v5 reply echoing `command`, with `data` from position 7 on.
inline Bytes v5_frame(Byte command, const Bytes& data, Byte status = 1) {
  Bytes f{0x5E, 0xFF, 0xFF, static_cast<Byte>(data.size() + 2), status, command};
  f.insert(f.end(), data.begin(), data.end());
  std::int32_t crc = 0xFFFF;
  for (std::size_t i = 1; i < f.size(); ++i) update_crc(crc, f[i]);
  f.insert(f.end(), {static_cast<Byte>(crc % 256), static_cast<Byte>(crc / 256)});
  return f;
}

// A session on port 1, open, with `server` at the far end.
struct Bench {
  explicit Bench(sim::LineDevice& server) {
    host.line.attach(1, server);
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

inline Bytes payload(const Bytes& request, std::size_t from, std::size_t n) {
  return Bytes(request.begin() + static_cast<long>(from - 1),
               request.begin() + static_cast<long>(from - 1 + n));
}

}  // namespace tavric::testing
