#include "sim/v5_server.h"

#include <algorithm>

#include "protocol/crc.h"

namespace tavric::sim {
namespace {

constexpr int kStatus = 16;
constexpr int kReadOne = 19;
constexpr int kBulk = 4;
constexpr int kSetClock = 10;
constexpr int kClear = 9;
constexpr std::int64_t kStepSeconds = 15;

int wrap(long v, int size) {
  return static_cast<int>(((v % size) + size) % size);
}

void put16(Bytes& out, int v) {
  out.push_back(static_cast<Byte>((v >> 8) & 0xFF));
  out.push_back(static_cast<Byte>(v & 0xFF));
}

// A v5 reply: start byte, address, length, status, command echo, data, CRC of all but
// the start byte, low byte first; damaged as the fault plan says for request `number`.
Bytes v5_frame(std::array<Byte, 2> address, int command, const Bytes& data, bool ok,
               const FaultPlan& plan, int number) {
  const auto planned = [&](const std::set<int>& requests) { return requests.count(number) != 0; };
  if (planned(plan.wrong_echo)) command ^= 0x40;
  if (planned(plan.foreign_address)) address = {Byte(address[0] ^ 0x5A), Byte(address[1] ^ 0x5A)};
  Bytes f = {0x5E,
             address[0],
             address[1],
             static_cast<Byte>(data.size() + 2),
             ok ? Byte{1} : Byte{0},
             static_cast<Byte>(command)};
  f.insert(f.end(), data.begin(), data.end());
  std::int32_t crc = 0xFFFF;
  for (std::size_t i = 1; i < f.size(); ++i) update_crc(crc, f[i]);
  if (planned(plan.bad_check)) crc ^= 0x0101;
  f.push_back(static_cast<Byte>(crc & 0xFF));
  f.push_back(static_cast<Byte>((crc >> 8) & 0xFF));
  return f;
}

}  // namespace

V5Server::V5Server(Config config) : config_(std::move(config)), sender_(config_.faults) {
  const int size = std::clamp(config_.buffer_size, 1, 65535);
  slots_.assign(static_cast<std::size_t>(size), erased_record());
  write_pointer_ = wrap(config_.write_pointer, size);
  const long n = static_cast<long>(config_.records.size());
  for (long i = 0; i < n; ++i) {
    slots_[static_cast<std::size_t>(wrap(write_pointer_ - n + i, size))] =
        config_.records[static_cast<std::size_t>(i)];
  }
  read_pointer_ = config_.read_pointer >= 0
                      ? wrap(config_.read_pointer, size)
                      : wrap(write_pointer_ - std::min<long>(n, size - 1), size);
  clock_valid_ = config_.clock_valid;
  clock_base_s_ = seconds_since_2000(config_.clock);
}

void V5Server::attach(LineEnd& line) {
  line_ = &line;
  clock_base_at_ = line.now();
  line.set_device_baud(config_.baud, line.now());
}

std::vector<int> V5Server::commands() const {
  std::vector<int> out;
  for (const auto& r : log_) out.push_back(r.command);
  return out;
}

int V5Server::new_readings() const {
  const int distance = wrap(write_pointer_ - read_pointer_, buffer_size());
  if (clears_ > 0) return distance;
  return std::min(std::max(distance, config_.new_readings), buffer_size());
}

LocalDateTime V5Server::clock_at(MonoTime t) const {
  const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(t - clock_base_at_);
  return from_seconds_since_2000(clock_base_s_ + elapsed.count());
}

void V5Server::receive(ByteView bytes, MonoTime at) {
  for (const auto& request : parser_.feed(bytes, at)) {
    // A request for another unit is not ours to answer.
    const bool for_us = (request.address[0] == 0xFF || request.address[0] == config_.address[0]) &&
                        (request.address[1] == 0xFF || request.address[1] == config_.address[1]);
    if (for_us) handle(request, at);
  }
}

void V5Server::handle(const ParsedRequest& request, MonoTime at) {
  ReceivedRequest entry;
  entry.at = at;
  entry.number = static_cast<int>(log_.size()) + 1;
  entry.command = request.command;
  entry.args = request.args;
  entry.baud = config_.baud;
  entry.answered = sender_.answers(entry.number);
  log_.push_back(entry);
  if (!entry.answered || line_ == nullptr) return;

  const Bytes& a = request.args;
  const int size = buffer_size();
  bool ok = true;
  Bytes data;
  int stream_from = -1;
  int stream_count = 0;
  // A refused request is not carried out: it is answered as one not understood.
  const bool refused = sender_.plan().status_0.count(entry.number) != 0;
  switch (refused ? -1 : request.command) {
    case kStatus: {
      ok = a.size() == 1;
      data = {0x05, 0x01, config_.address[0], config_.address[1]};
      const std::int64_t steps = v5_clock_steps(clock_at(at));
      const auto clock =
          clock_valid_ ? static_cast<std::uint32_t>(steps & 0x7FFFFFFF) : 0x80000000U;
      put16(data, static_cast<int>(clock >> 16));
      put16(data, static_cast<int>(clock & 0xFFFF));
      put16(data, write_pointer_);
      put16(data, read_pointer_);
      put16(data, size);
      put16(data, new_readings());
      break;
    }
    case kReadOne: {
      const int slot = a.size() == 2 ? a[0] * 256 + a[1] : -1;
      ok = slot >= 0 && slot < size;
      put16(data, std::max(slot, 0));
      const Record& r = ok ? slots_[static_cast<std::size_t>(slot)] : erased_record();
      data.insert(data.end(), r.begin(), r.end());
      break;
    }
    case kBulk: {
      const int slot = a.size() == 7 ? a[4] * 256 + a[5] : -1;
      ok = slot >= 0 && slot < size;
      if (ok) {
        stream_from = slot;
        stream_count = slot == read_pointer_ ? new_readings() : wrap(write_pointer_ - slot, size);
      }
      put16(data, stream_count);
      break;
    }
    case kSetClock:
      ok = a.size() == 4;
      if (ok) {
        const std::int64_t steps = (std::int64_t{a[0]} << 24) | (a[1] << 16) | (a[2] << 8) | a[3];
        clock_base_s_ = steps * kStepSeconds;
        clock_base_at_ = at;
        clock_valid_ = true;
        clock_sets_.push_back(steps);
      }
      break;
    case kClear:
      ok = a.empty();
      if (ok) {
        read_pointer_ = write_pointer_;
        ++clears_;
      }
      break;
    default:
      ok = false;  // not understood: a reply with status 0
      break;
  }
  const Bytes frame =
      v5_frame(config_.address, request.command, data, ok, sender_.plan(), entry.number);
  const MonoTime done =
      sender_.send(*line_, frame, entry.number, at + config_.turnaround, config_.baud);
  if (stream_count > 0) send_stream(stream_from, stream_count, done + config_.turnaround);
}

void V5Server::send_stream(int first_slot, int count, MonoTime from) {
  const FaultPlan& plan = sender_.plan();
  const int size = buffer_size();
  MonoTime at = from;
  const auto planned = [](const std::set<int>& frames, int n) { return frames.count(n) != 0; };
  for (int n = 1; n <= count; ++n) {
    if (plan.stream_breaks_after > 0 && n > plan.stream_breaks_after) break;
    if (planned(plan.dropped_frames, n)) continue;
    int number = n;
    if (planned(plan.frame_number_low, n)) number = n - 1;
    if (planned(plan.frame_number_high, n)) number = n + 1;
    Bytes f = {0x4E, static_cast<Byte>((number >> 8) & 0xFF), static_cast<Byte>(number & 0xFF)};
    Record r = slots_[static_cast<std::size_t>(wrap(first_slot + n - 1L, size))];
    if (planned(plan.damaged_frames, n)) r[12] ^= 0x21;
    f.insert(f.end(), r.begin(), r.end());
    f.push_back(0x4F);
    for (int copy = planned(plan.repeated_frames, n) ? 2 : 1; copy > 0; --copy) {
      line_->send(f, at);
      ++frames_sent_;
      const MonoTime frame_time = line_->line_time(config_.baud, f.size());
      // A slow path: half the line speed on the whole, and a pause of one to four
      // seconds after every 200 frames, none of them as long as the silence that
      // ends a stream.
      at += (plan.slow_stream ? 2 * frame_time : frame_time) + config_.frame_gap;
      if (plan.slow_stream && frames_sent_ % 200 == 0) {
        at += std::chrono::milliseconds(1000 * (frames_sent_ / 200 % 4 + 1));
      }
    }
  }
}

}  // namespace tavric::sim
