#include "tests/host/test_host.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "platform/run_control.h"

namespace tavric::testhost {

// ---- VirtualClock

LocalDateTime VirtualClock::local_now() const {
  const auto whole = std::chrono::duration_cast<std::chrono::seconds>(now_).count();
  return from_seconds_since_2000(local_offset_s_ + whole);
}

void VirtualClock::set_local(const LocalDateTime& t) {
  const auto whole = std::chrono::duration_cast<std::chrono::seconds>(now_).count();
  local_offset_s_ = seconds_since_2000(t) - whole;
}

// ---- ScriptedWindow

void ScriptedWindow::set_event_text(const std::string& text) {
  event_text_ = text;
  events_.push_back(text);
}

void ScriptedWindow::show_led(int index, LedColour colour) {
  leds_[index] = colour;
  led_history_.push_back({clock_.monotonic(), index, colour});
}

void ScriptedWindow::show_dump_frame(int frame) {
  frame_ = frame;
  frames_.push_back(frame);
}

void ScriptedWindow::set_progress(int percent) {
  progress_ = percent;
  progress_history_.push_back(percent);
}

void ScriptedWindow::yield() {
  ++yields_;
  run_due_actions();
  check_open();
}

void ScriptedWindow::check_open() {
  if (closed_) throw WindowClosed{};
}

void ScriptedWindow::sleep_until(MonoTime deadline) {
  for (;;) {
    run_due_actions();
    check_open();
    if (clock_.monotonic() >= deadline) return;
    MonoTime next = deadline;
    if (auto t = next_action_time()) next = std::min(next, std::max(*t, clock_.monotonic()));
    clock_.advance_to(next);
  }
}

void ScriptedWindow::at(MonoTime time, std::function<void()> action) {
  timed_.emplace(time, std::move(action));
}

void ScriptedWindow::when(std::function<bool()> condition, std::function<void()> action) {
  conditional_.emplace_back(std::move(condition), std::move(action));
}

void ScriptedWindow::close() {
  if (closed_) return;
  if (on_close) on_close();
  closed_ = true;
}

std::optional<MonoTime> ScriptedWindow::next_action_time() const {
  if (timed_.empty()) return std::nullopt;
  return timed_.begin()->first;
}

void ScriptedWindow::run_due_actions() {
  while (!timed_.empty() && timed_.begin()->first <= clock_.monotonic()) {
    auto action = std::move(timed_.begin()->second);
    timed_.erase(timed_.begin());
    action();
  }
  for (std::size_t i = 0; i < conditional_.size();) {
    if (conditional_[i].first()) {
      auto action = std::move(conditional_[i].second);
      conditional_.erase(conditional_.begin() + static_cast<std::ptrdiff_t>(i));
      action();
    } else {
      ++i;
    }
  }
}

// ---- ScriptedDialogs

void ScriptedDialogs::message(const std::string& title, const std::string& text) {
  messages_.push_back({title, text});
}

std::string ScriptedDialogs::prompt(const std::string& title, const std::string& text,
                                    const std::string& default_text) {
  if (answers_.empty()) {
    throw std::logic_error("unexpected prompt \"" + title + "\": " + text);
  }
  std::string reply = answers_.front().value_or("");
  answers_.pop_front();
  prompts_.push_back({title, text, default_text, reply});
  return reply;
}

// ---- MemorySettings

std::string MemorySettings::get(const std::string& key, const std::string& fallback) const {
  auto it = values_.find(key);
  return it == values_.end() ? fallback : it->second;
}

// ---- VirtualSerialLine

namespace {

// What a receiver set to another speed makes of the bytes: framing garbage.
Bytes garbled(ByteView bytes) {
  return Bytes(bytes.size(), 0x00);
}

}  // namespace

VirtualSerialLine::VirtualSerialLine(VirtualClock& clock, ScriptedWindow& window)
    : clock_(clock), window_(window) {}

void VirtualSerialLine::attach(int port, sim::LineDevice& device) {
  devices_[port] = &device;
  device.attach(*this);
}

void VirtualSerialLine::fail_open(int port, std::string error) {
  open_errors_[port] = std::move(error);
}

sim::LineDevice* VirtualSerialLine::device() const {
  if (!open_) return nullptr;
  auto it = devices_.find(open_port_);
  return it == devices_.end() ? nullptr : it->second;
}

int VirtualSerialLine::client_baud() const {
  return open_baud_;
}

bool VirtualSerialLine::open(std::string& error) {
  if (open_) {
    error = "Port already open";
    return false;
  }
  auto it = open_errors_.find(comm_port_);
  if (it != open_errors_.end()) {
    error = it->second;
    return false;
  }
  open_ = true;
  open_port_ = comm_port_;
  if (auto r = rounded_.find(settings_baud(settings_)); r != rounded_.end()) {
    settings_ = std::to_string(r->second) + settings_.substr(settings_.find(','));
  }
  open_baud_ = settings_baud(settings_);
  last_arrival_ = clock_.monotonic();
  opened_.push_back(comm_port_);
  error.clear();
  return true;
}

void VirtualSerialLine::close() {
  if (!open_) return;
  open_ = false;
  queued_.clear();
  inbuf_.clear();
}

void VirtualSerialLine::set_dtr(bool on) {
  dtr_ = on;
  control_log_.push_back(on ? "DTR+" : "DTR-");
  if (auto* d = device()) d->control_lines(dtr_, rts_, clock_.monotonic());
}

void VirtualSerialLine::set_rts(bool on) {
  rts_ = on;
  control_log_.push_back(on ? "RTS+" : "RTS-");
  if (auto* d = device()) d->control_lines(dtr_, rts_, clock_.monotonic());
}

void VirtualSerialLine::pump() {
  while (!queued_.empty() && queued_.front().at <= clock_.monotonic()) {
    const Bytes& b = queued_.front().bytes;
    inbuf_.insert(inbuf_.end(), b.begin(), b.end());
    last_arrival_ = queued_.front().at;
    queued_.pop_front();
  }
}

std::size_t VirtualSerialLine::in_buffer_count() {
  if (!open_) return 0;
  pump();
  return inbuf_.size();
}

void VirtualSerialLine::discard_input() {
  pump();
  inbuf_.clear();
}

Bytes VirtualSerialLine::input() {
  if (!open_) return {};
  pump();
  Bytes out;
  out.swap(inbuf_);
  return out;
}

void VirtualSerialLine::output(ByteView bytes) {
  if (!open_ || bytes.empty()) return;
  const MonoTime now = clock_.monotonic();
  sent_.push_back({now, open_baud_, open_port_, Bytes(bytes.begin(), bytes.end())});
  const MonoTime start = std::max(now, to_device_busy_);
  to_device_busy_ = start + sim::byte_time(open_baud_) * static_cast<long>(bytes.size());
  if (auto* d = device()) {
    if (device_baud_at(start) == open_baud_) {
      d->receive(bytes, to_device_busy_);
    } else {
      const Bytes g = garbled(bytes);
      d->receive(g, to_device_busy_);
    }
  }
}

void VirtualSerialLine::wait_for_input(MonoTime deadline, WindowEvents events, std::size_t bytes) {
  for (;;) {
    if (events == WindowEvents::Process) window_.yield();
    if (in_buffer_count() >= std::max<std::size_t>(bytes, 1) || clock_.monotonic() >= deadline) {
      return;
    }
    MonoTime next = deadline;
    if (open_ && !queued_.empty()) next = std::min(next, queued_.front().at);
    if (events == WindowEvents::Process) {
      if (auto t = window_.next_action_time()) next = std::min(next, std::max(*t, now()));
    }
    clock_.advance_to(next);
  }
}

void VirtualSerialLine::send(ByteView bytes, MonoTime at) {
  if (!open_ || bytes.empty()) return;
  const MonoTime start = std::max({at, to_client_busy_, clock_.monotonic()});
  const int baud = device_baud_at(start);
  const MonoTime per_byte = sim::byte_time(baud);
  const bool readable = baud == open_baud_;
  MonoTime t = start;
  for (std::size_t i = 0; i < bytes.size(); i += chunk_size_) {
    const std::size_t n = std::min(chunk_size_, bytes.size() - i);
    t += per_byte * static_cast<long>(n);
    Bytes chunk(bytes.begin() + static_cast<std::ptrdiff_t>(i),
                bytes.begin() + static_cast<std::ptrdiff_t>(i + n));
    queued_.push_back({t, readable ? std::move(chunk) : garbled(chunk)});
  }
  to_client_busy_ = t;
}

void VirtualSerialLine::set_device_baud(int baud, MonoTime from) {
  device_bauds_.emplace_back(from, baud);
  std::stable_sort(device_bauds_.begin(), device_bauds_.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
}

int VirtualSerialLine::device_baud_at(MonoTime t) const {
  int baud = 9600;
  for (const auto& [from, b] : device_bauds_) {
    if (from <= t) baud = b;
  }
  return baud;
}

Bytes VirtualSerialLine::sent_bytes() const {
  Bytes all;
  for (const auto& c : sent_) all.insert(all.end(), c.bytes.begin(), c.bytes.end());
  return all;
}

// ---- FaultyFileSystem

void FaultyFileSystem::fail(std::string op, std::string path_part, std::errc error) {
  faults_.push_back({std::move(op), std::move(path_part), error});
}

std::optional<std::error_code> FaultyFileSystem::fault(std::string_view op,
                                                       const std::filesystem::path& p) const {
  const std::string s = p.string();
  for (const auto& f : faults_) {
    if (f.op == op && s.find(f.path_part) != std::string::npos)
      return std::make_error_code(f.error);
  }
  return std::nullopt;
}

namespace {

// A file whose write, sync or close fails when the owning file system says so.
class FaultyTextFile : public TextFile {
 public:
  FaultyTextFile(std::unique_ptr<TextFile> inner, const FaultyFileSystem& fs,
                 std::filesystem::path path)
      : inner_(std::move(inner)), fs_(fs), path_(std::move(path)) {}
  std::error_code write(std::string_view text) override {
    if (auto e = fs_.fault("write", path_)) return *e;
    return inner_->write(text);
  }
  std::error_code sync() override {
    if (auto e = fs_.fault("sync", path_)) return *e;
    return inner_->sync();
  }
  std::error_code close() override {
    std::error_code e = inner_->close();
    if (auto f = fs_.fault("close", path_)) return *f;
    return e;
  }

 private:
  std::unique_ptr<TextFile> inner_;
  const FaultyFileSystem& fs_;
  std::filesystem::path path_;
};

}  // namespace

std::error_code FaultyFileSystem::create_directory(const std::filesystem::path& dir) {
  if (auto e = fault("mkdir", dir)) return *e;
  return NativeFileSystem::create_directory(dir);
}

std::error_code FaultyFileSystem::remove(const std::filesystem::path& file) {
  if (auto e = fault("remove", file)) return *e;
  return NativeFileSystem::remove(file);
}

std::error_code FaultyFileSystem::rename(const std::filesystem::path& from,
                                         const std::filesystem::path& to) {
  if (auto e = fault("rename", to)) return *e;
  return NativeFileSystem::rename(from, to);
}

std::unique_ptr<TextFile> FaultyFileSystem::open(const std::filesystem::path& file, OpenMode mode,
                                                 std::error_code& error) {
  if (auto e = fault("open", file)) {
    error = *e;
    return nullptr;
  }
  auto inner = NativeFileSystem::open(file, mode, error);
  if (!inner) return nullptr;
  return std::make_unique<FaultyTextFile>(std::move(inner), *this, file);
}

std::uintmax_t FaultyFileSystem::file_size(const std::filesystem::path& file,
                                           std::error_code& error) {
  if (auto e = fault("size", file)) {
    error = *e;
    return 0;
  }
  return NativeFileSystem::file_size(file, error);
}

std::string FaultyFileSystem::read(const std::filesystem::path& file, std::uintmax_t offset,
                                   std::size_t length, std::error_code& error) {
  if (auto e = fault("read", file)) {
    error = *e;
    return {};
  }
  return NativeFileSystem::read(file, offset, length, error);
}

std::error_code FaultyFileSystem::sync_directory(const std::filesystem::path& dir) {
  if (auto e = fault("syncdir", dir)) return *e;
  return NativeFileSystem::sync_directory(dir);
}

std::unique_ptr<FileLock> FaultyFileSystem::try_lock(const std::filesystem::path& file,
                                                     std::error_code& error) {
  if (auto e = fault("lock", file)) {
    error = *e;
    return nullptr;
  }
  return NativeFileSystem::try_lock(file, error);
}

// ---- TestHost

namespace {

// A new folder of its own under the system's temporary folder: creating it fails when
// the name is taken, so two tests never share one.
std::filesystem::path make_temp_dir() {
  std::random_device seed;
  std::mt19937_64 names(seed());
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path dir = base / ("tavric-test-" + std::to_string(names() % 1000003));
    std::error_code e;
    if (std::filesystem::create_directory(dir, e)) return dir;
    if (e) break;
  }
  throw std::runtime_error("no temporary folder could be made");
}

}  // namespace

void copy_tree(const std::filesystem::path& from, const std::filesystem::path& to) {
  namespace fs = std::filesystem;
  for (const auto& entry : fs::recursive_directory_iterator(from)) {
    const fs::path target = to / entry.path().lexically_relative(from);
    if (entry.is_directory()) fs::create_directories(target);
    if (entry.is_regular_file()) fs::copy_file(entry.path(), target);
  }
}

std::string TestDigest::sha256_hex(std::string_view data) const {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (std::uint64_t seed : {0xcbf29ce484222325ULL, 1ULL, 2ULL, 3ULL}) {
    std::uint64_t h = seed;  // FNV-1a, four times with other starts
    for (const char c : data) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    for (int shift = 60; shift >= 0; shift -= 4) out += kHex[(h >> shift) & 0xF];
  }
  return out;
}

TestHost::TestHost()
    : output_dir(make_temp_dir()), platform{window, dialogs, line,      settings,
                                            clock,  files,   output_dir} {
  clock.set_local(LocalDateTime{2012, 3, 4, 14, 5, 0});
  platform.digest = &digest;
}

TestHost::~TestHost() {
  std::error_code e;
  std::filesystem::remove_all(output_dir, e);
}

std::string TestHost::read_output(const std::filesystem::path& relative) const {
  std::ifstream in(output_dir / relative, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace tavric::testhost
