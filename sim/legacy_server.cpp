#include "sim/legacy_server.h"

#include <algorithm>

namespace tavric::sim {
namespace {

constexpr int kShortReply = 14;
constexpr int kBlockReply = 142;
constexpr int kFastBaud = 56000;
constexpr int kSlowBaud = 9600;

// A legacy reply: start byte, address, length, status, data, sum (high byte first) of
// everything after the start byte, end byte; damaged as the fault plan says for
// request `number`.
Bytes legacy_frame(const Bytes& data, bool ok, const FaultPlan& plan, int number) {
  Bytes f = {0x5E, 0x00, 0x00, 0x01, static_cast<Byte>(data.size() + 9), ok ? Byte{1} : Byte{0}};
  f.insert(f.end(), data.begin(), data.end());
  int sum = 0;
  for (std::size_t i = 1; i < f.size(); ++i) sum += f[i];
  if (plan.bad_check.count(number) != 0) sum ^= 0x5A;
  f.push_back(static_cast<Byte>((sum >> 8) & 0xFF));
  f.push_back(static_cast<Byte>(sum & 0xFF));
  f.push_back(plan.bad_end.count(number) != 0 ? 0x00 : 0x5F);
  return f;
}

}  // namespace

LegacyServer::LegacyServer(Config config)
    : config_(std::move(config)), sender_(config_.faults), records_(config_.records) {
  baud_ = config_.baud;
  clock_base_s_ = seconds_since_2000(config_.clock);
}

void LegacyServer::attach(LineEnd& line) {
  line_ = &line;
  clock_base_at_ = line.now();
  line.set_device_baud(baud_, line.now());
}

std::vector<int> LegacyServer::commands() const {
  std::vector<int> out;
  for (const auto& r : log_) out.push_back(r.command);
  return out;
}

int LegacyServer::block_count() const {
  return static_cast<int>((records_.size() + 3) / 4);
}

LocalDateTime LegacyServer::clock_at(MonoTime t) const {
  const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(t - clock_base_at_);
  return from_seconds_since_2000(clock_base_s_ + elapsed.count());
}

void LegacyServer::control_lines(bool dtr, bool /*rts*/, MonoTime /*at*/) {
  // The client drops DTR before every attempt: whatever was half received is void.
  if (!dtr) parser_.reset();
}

void LegacyServer::receive(ByteView bytes, MonoTime at) {
  for (const auto& request : parser_.feed(bytes, at)) handle(request, at);
}

Bytes LegacyServer::block_data(int block) const {
  Bytes out;
  const long first = (static_cast<long>(block) - kFirstBlock) * 4;
  for (long i = first; i < first + 4; ++i) {
    const Record r = (i >= 0 && i < static_cast<long>(records_.size()))
                         ? records_[static_cast<std::size_t>(i)]
                         : erased_record();
    out.insert(out.end(), r.begin(), r.end());
  }
  return out;
}

void LegacyServer::handle(const ParsedRequest& request, MonoTime at) {
  ReceivedRequest entry;
  entry.at = at;
  entry.number = static_cast<int>(log_.size()) + 1;
  entry.command = request.command;
  entry.args = request.args;
  entry.baud = baud_;
  entry.answered = sender_.answers(entry.number);
  log_.push_back(entry);
  // A request the server never heard changes nothing.
  if (!entry.answered || line_ == nullptr) return;

  const Bytes& a = request.args;
  const int arg0 = a.size() > 0 ? a[0] : -1;
  bool ok = a.size() == 4;
  Bytes data(5, 0);
  data[0] = static_cast<Byte>(request.command);
  int new_baud = 0;
  const LocalDateTime now = clock_at(at);
  // A refused request is not carried out: it is answered as one not understood.
  const bool refused = sender_.plan().status_0.count(entry.number) != 0;
  switch (refused ? -1 : request.command) {
    case 0: {
      int block = a.size() >= 2 ? a[0] * 256 + a[1] : 0;
      if (sender_.plan().wrong_block.count(entry.number) != 0) block -= 1;
      data[1] = static_cast<Byte>((block >> 8) & 0xFF);
      data[2] = static_cast<Byte>(block & 0xFF);
      const Bytes records = block_data(block);
      data.insert(data.end(), records.begin(), records.end());
      break;
    }
    case 1: {
      const int count =
          config_.reported_blocks >= 0 && clears_ == 0 ? config_.reported_blocks : block_count();
      data[1] = static_cast<Byte>((count >> 8) & 0xFF);
      data[2] = static_cast<Byte>(count & 0xFF);
      break;
    }
    case 3:
      records_.clear();
      ++clears_;
      break;
    case 9:
      data[2] = static_cast<Byte>(now.year - 2000);
      data[3] = static_cast<Byte>(now.month);
      data[4] = static_cast<Byte>(now.day);
      break;
    case 11:
      data[2] = static_cast<Byte>(now.hour);
      data[3] = static_cast<Byte>(now.minute);
      data[4] = static_cast<Byte>(now.second);
      break;
    case 10:
    case 12: {
      ok = ok && arg0 == (request.command == 10 ? 255 : 254);
      if (!ok) break;
      LocalDateTime set = now;
      if (request.command == 10) {
        set.year = 2000 + a[1];
        set.month = a[2];
        set.day = a[3];
      } else {
        set.hour = a[1];
        set.minute = a[2];
        set.second = a[3];
      }
      clock_base_s_ = seconds_since_2000(set);
      clock_base_at_ = at;
      clock_sets_.push_back(clock_at(at));
      break;
    }
    case 14:
      ok = ok && (arg0 == 0 || arg0 == 1);
      if (ok) new_baud = arg0 == 1 ? kFastBaud : kSlowBaud;
      break;
    default:
      ok = false;  // not understood: a reply with status 0
      break;
  }
  if (request.command != 0) data.resize(kShortReply - 9);
  const Bytes frame = legacy_frame(data, ok, sender_.plan(), entry.number);
  const MonoTime done = sender_.send(*line_, frame, entry.number, at + config_.turnaround, baud_);
  // The reply goes out at the old speed; from its end on the server listens at the new.
  if (new_baud != 0 && new_baud != baud_ && !sender_.plan().ignores_speed_change) {
    baud_ = new_baud;
    line_->set_device_baud(baud_, done);
  }
  static_assert(kBlockReply == 9 + 5 + 128);
}

}  // namespace tavric::sim
