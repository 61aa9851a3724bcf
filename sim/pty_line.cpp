#include "sim/pty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <system_error>

namespace tavric::sim {
namespace {

constexpr MonoTime kStopCheck = std::chrono::milliseconds(200);
constexpr std::size_t kUnpacedChunk = 4096;

[[noreturn]] void fail(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

PtyLine::PtyLine() {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (master_ < 0) fail("posix_openpt");
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
    ::close(master_);
    fail("grantpt/unlockpt");
  }
  const char* name = ::ptsname(master_);
  if (name == nullptr) {
    ::close(master_);
    fail("ptsname");
  }
  path_ = name;
  slave_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY);
  if (slave_ < 0) {
    ::close(master_);
    fail("open pseudo-terminal");
  }
  // Raw bytes both ways, no echo: until the client sets its own mode, the terminal must
  // not answer the device's bytes by itself.
  termios t{};
  if (::tcgetattr(slave_, &t) == 0) {
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    ::tcsetattr(slave_, TCSANOW, &t);
  }
}

PtyLine::~PtyLine() {
  if (slave_ >= 0) ::close(slave_);
  if (master_ >= 0) ::close(master_);
}

void PtyLine::attach(LineDevice& device) {
  device_ = &device;
  last_receive_ = now();
  device.attach(*this);
}

MonoTime PtyLine::now() const {
  return std::chrono::duration_cast<MonoTime>(std::chrono::steady_clock::now().time_since_epoch());
}

MonoTime PtyLine::line_time(int baud, std::size_t count) const {
  return unpaced_ ? MonoTime{0} : LineEnd::line_time(baud, count);
}

int PtyLine::client_baud() const {
  const int speed = terminal_speed(master_);
  return speed > 0 ? speed : device_baud_at(now());
}

int PtyLine::device_baud_at(MonoTime t) const {
  int baud = 9600;
  for (const auto& [from, b] : device_bauds_) {
    if (from <= t) baud = b;
  }
  return baud;
}

void PtyLine::set_device_baud(int baud, MonoTime from) {
  device_bauds_.emplace_back(from, baud);
  std::stable_sort(device_bauds_.begin(), device_bauds_.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
}

void PtyLine::send(ByteView bytes, MonoTime at) {
  MonoTime t = std::max({at, busy_until_, now()});
  const int baud = device_baud_at(t);
  const MonoTime per_byte = line_time(baud, 1);
  for (Byte b : bytes) {
    t += per_byte;
    queue_.push_back({t, b, baud});
  }
  busy_until_ = t;
}

void PtyLine::flush_due(MonoTime now) {
  if (unpaced_) return flush_unpaced(now);
  if (queue_.empty() || queue_.front().at > now) return;
  const int client = terminal_speed(master_);  // 0: unknown, taken as matching
  Bytes out;
  while (!queue_.empty() && queue_.front().at <= now) {
    // Sent at another speed than the client listens at: framing garbage.
    const Due& d = queue_.front();
    out.push_back(client == 0 || d.baud == client ? d.byte : Byte{0});
    queue_.pop_front();
  }
  // A client that is not reading lets the terminal's buffer fill up; like a real line,
  // the bytes that do not fit are lost.
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = ::write(master_, out.data() + done, out.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
}

void PtyLine::flush_unpaced(MonoTime now) {
  const int client = terminal_speed(master_);
  while (!queue_.empty() && queue_.front().at <= now) {
    Bytes out;
    for (auto it = queue_.begin();
         it != queue_.end() && it->at <= now && out.size() < kUnpacedChunk; ++it) {
      out.push_back(client == 0 || it->baud == client ? it->byte : Byte{0});
    }
    const ssize_t n = ::write(master_, out.data(), out.size());
    if (n <= 0) return;  // the terminal is full: the rest waits for the client to read
    queue_.erase(queue_.begin(), queue_.begin() + n);
  }
}

void PtyLine::read_input() {
  Byte buf[4096];
  for (;;) {
    const ssize_t n = ::read(master_, buf, sizeof buf);
    if (n <= 0) return;
    const MonoTime t = now();
    last_receive_ = t;
    Bytes in(buf, buf + n);
    const int client = terminal_speed(master_);
    if (client != 0 && client != device_baud_at(t)) std::fill(in.begin(), in.end(), Byte{0});
    if (device_ != nullptr) device_->receive(in, t);
  }
}

void PtyLine::serve(const std::function<bool()>& stop) {
  while (!stop()) {
    MonoTime t = now();
    flush_due(t);
    MonoTime wait = kStopCheck;
    short events = POLLIN;
    if (!queue_.empty() && queue_.front().at <= t) {
      events |= POLLOUT;  // unpaced bytes due that did not fit: wait for room
    } else if (!queue_.empty()) {
      wait = std::clamp(queue_.front().at - t, MonoTime{0}, kStopCheck);
    }
    // Round up, so a wake-up never comes before the next byte is due.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
    pollfd p{master_, events, 0};
    const int r = ::poll(&p, 1, static_cast<int>(ms));
    if (r > 0 && (p.revents & POLLIN) != 0) {
      read_input();
    } else if (r > 0 && (p.revents & POLLOUT) != 0) {
      continue;
    } else if (r > 0) {
      // Hang-up or error without data: wait out the interval rather than spin.
      ::usleep(static_cast<useconds_t>(std::max<long>(ms, 1) * 1000));
    }
  }
}

}  // namespace tavric::sim
