#include "sim/modem.h"

#include <algorithm>
#include <cctype>

namespace tavric::sim {
namespace {

constexpr std::size_t kMaxCommandLine = 256;

std::string trimmed(std::string s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const auto last = s.find_last_not_of(' ');
  return s.substr(first, last - first + 1);
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

Bytes text_bytes(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

}  // namespace

// The server's side of the call: what the server sends reaches the client one call
// delay later, and only while the modem is in data mode.
class CellModem::CallLine : public LineEnd {
 public:
  explicit CallLine(CellModem& modem) : modem_(modem) {}
  MonoTime now() const override { return modem_.line_->now(); }
  MonoTime line_time(int baud, std::size_t count) const override {
    return modem_.line_->line_time(baud, count);
  }
  void send(ByteView bytes, MonoTime at) override {
    if (modem_.online_) modem_.line_->send(bytes, at + modem_.config_.call_delay);
  }
  // The call carries the data whatever speed the server's own port runs at.
  void set_device_baud(int /*baud*/, MonoTime /*from*/) override {}
  void drop_queued() override { modem_.line_->drop_queued(); }

 private:
  CellModem& modem_;
};

CellModem::CellModem(LineDevice& server, Config config)
    : server_(server), config_(std::move(config)), asleep_lines_(config_.ignored_ate0) {}

CellModem::~CellModem() = default;

void CellModem::attach(LineEnd& line) {
  line_ = &line;
  call_line_ = std::make_unique<CallLine>(*this);
  server_.attach(*call_line_);
}

void CellModem::receive(ByteView bytes, MonoTime at) {
  if (line_ == nullptr) return;
  if (online_) {
    if (at >= online_from_) return data_bytes(bytes, at);
    // A key pressed while the call is set up aborts it, as on any modem.
    line_->drop_queued();
    online_ = false;
    call_up_ = false;
    --calls_;
    return reply("NO CARRIER", at);
  }
  for (Byte b : bytes) {
    command_byte(b, at);
    if (online_) return;  // ATO: what follows in the same chunk is too early to matter
  }
}

void CellModem::data_bytes(ByteView bytes, MonoTime at) {
  Bytes forward;
  for (Byte b : bytes) {
    const bool after_pause = at - last_data_at_ >= config_.escape_guard;
    last_data_at_ = at;
    if (b == '+' && (plus_count_ > 0 || after_pause)) {
      if (++plus_count_ == 3) {
        plus_count_ = 0;
        online_ = false;
        commands_.push_back("+++");
        reply("OK", at);
        break;
      }
      continue;
    }
    forward.insert(forward.end(), static_cast<std::size_t>(plus_count_), Byte{'+'});
    plus_count_ = 0;
    forward.push_back(b);
  }
  if (!forward.empty()) server_.receive(forward, at + config_.call_delay);
}

void CellModem::command_byte(Byte b, MonoTime at) {
  if (asleep_lines_ > 0) {
    // Still waking up: the modem misses whole commands, without echo; line noise
    // without "AT" does not wake it.
    if (b == '\r') {
      if (upper(pending_).find("AT") != std::string::npos) {
        --asleep_lines_;
        commands_.push_back(pending_);
      }
      pending_.clear();
    } else if (pending_.size() < kMaxCommandLine) {
      pending_.push_back(static_cast<char>(b));
    }
    return;
  }
  if (echo_) line_->send(Bytes{b}, at);
  if (b == '\n') return;
  if (b == '\r') {
    const std::string line = trimmed(pending_);
    pending_.clear();
    if (!line.empty()) run_command(line, at);
    return;
  }
  // An overlong line keeps its end, where a command may still begin.
  if (pending_.size() >= kMaxCommandLine) pending_.erase(pending_.begin());
  pending_.push_back(static_cast<char>(b));
  if (pending_.size() >= 3 && pending_.compare(pending_.size() - 3, 3, "+++") == 0) {
    // The escape sent while already in command mode: nothing to leave, but confirm it.
    pending_.resize(pending_.size() - 3);
    commands_.push_back("+++");
    reply("OK", at);
  }
}

void CellModem::reply(const std::string& text, MonoTime at) {
  line_->send(text_bytes("\r\n" + text + "\r\n"), at + config_.reply_delay);
}

void CellModem::run_command(const std::string& received, MonoTime at) {
  // Like any AT modem, it looks for "AT" and ignores whatever came before it; a line
  // without it is line noise and gets no answer.
  const auto start = upper(received).find("AT");
  if (start == std::string::npos) return;
  const std::string line = received.substr(start);
  commands_.push_back(line);
  const std::string cmd = upper(line);
  const std::string body = cmd.substr(2);
  const bool sim_ready = config_.pin.empty() || unlocked_;
  if (body.empty()) return reply("OK", at);
  if (body == "Z" || body == "E1") {
    echo_ = true;
    return reply("OK", at);
  }
  if (body == "E0") {
    echo_ = config_.echo_stays_on;
    return reply("OK", at);
  }
  if (body == "+CPIN?") {
    if (sim_ready) return reply("+CPIN: READY\r\n\r\nOK", at);
    return reply(sim_locked() ? "+CPIN: SIM PUK\r\n\r\nOK" : "+CPIN: SIM PIN\r\n\r\nOK", at);
  }
  if (body.rfind("+CPIN=", 0) == 0) {
    std::string given = line.substr(8);
    given.erase(std::remove(given.begin(), given.end(), '"'), given.end());
    if (sim_ready) return reply("+CME ERROR: 3", at);      // no PIN is wanted
    if (sim_locked()) return reply("+CME ERROR: 12", at);  // SIM PUK required
    if (given != config_.pin) {
      --pin_tries_left_;
      return reply("+CME ERROR: 16", at);
    }
    pin_tries_left_ = 3;
    unlocked_ = true;
    return reply("OK", at);
  }
  if (body[0] == 'D') {
    std::string number = trimmed(line.substr(3));
    if (!number.empty() && number.back() == ';') number.pop_back();
    dialled_.push_back(number);
    if (!sim_ready) return reply("+CME ERROR: 11", at);  // SIM PIN required
    if (call_up_) return reply("ERROR", at);
    DialResult result = config_.dial;
    if (result == DialResult::Connect && !config_.number.empty() && number != config_.number) {
      result = DialResult::NoCarrier;
    }
    const MonoTime done = at + config_.dial_delay;
    switch (result) {
      case DialResult::Connect:
        call_up_ = true;
        online_ = true;
        online_from_ = done + config_.reply_delay;
        last_data_at_ = online_from_;
        ++calls_;
        return reply("CONNECT 9600", done);
      case DialResult::Busy:
        return reply("BUSY", done);
      case DialResult::NoCarrier:
        return reply("NO CARRIER", done);
      case DialResult::Error:
        return reply("ERROR", at);
      case DialResult::Silent:
        return;
    }
  }
  if (body == "H" || body == "H0") {
    if (call_up_) {
      call_up_ = false;
      ++hangups_;
    }
    return reply("OK", at);
  }
  if (body == "O") {
    if (!call_up_) return reply("NO CARRIER", at);
    online_ = true;
    online_from_ = at;
    last_data_at_ = at;
    return reply("CONNECT 9600", at);
  }
  reply("ERROR", at);
}

}  // namespace tavric::sim
