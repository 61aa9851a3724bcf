#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/line_device.h"
#ifdef _WIN32
#include "win/win_file_system.h"
#else
#include "posix/posix_file_system.h"
#endif

namespace tavric::testhost {

// The machine's own file system, under which the tests' files really land.
#ifdef _WIN32
using NativeFileSystem = win::WinFileSystem;
#else
using NativeFileSystem = PosixFileSystem;
#endif

// Monotonic time that moves only when a wait moves it, and a local wall clock that
// follows it from a chosen start.
class VirtualClock : public Clock {
 public:
  MonoTime monotonic() const override { return now_; }
  LocalDateTime local_now() const override;
  void set_local(const LocalDateTime& t);  // the wall clock reads `t` now
  void advance_to(MonoTime t) {
    if (t > now_) now_ = t;
  }
  void advance_by(MonoTime d) { now_ += d; }

 private:
  MonoTime now_{std::chrono::seconds(1000)};
  std::int64_t local_offset_s_ = 0;  // seconds since 2000 at monotonic 0
};

struct LedChange {
  MonoTime at;
  int index;
  LedColour colour;
};

// The main window with recorded indicators and scripted user actions.
class ScriptedWindow : public Window {
 public:
  explicit ScriptedWindow(VirtualClock& clock) : clock_(clock) {}

  void set_event_text(const std::string& text) override;
  void show_led(int index, LedColour colour) override;
  void show_dump_frame(int frame) override;
  void set_progress(int percent) override;
  bool speed_hi() const override { return speed_hi_; }
  void set_speed_hi(bool hi) override { speed_hi_ = hi; }
  void stop_timer() override { timer_running_ = false; }
  void yield() override;
  void check_open() override;
  void sleep_until(MonoTime deadline) override;

  // Scripted user actions, run at the first yield or window-event wait at or after
  // their time, or at the first one where `when` holds.
  void at(MonoTime time, std::function<void()> action);
  void when(std::function<bool()> condition, std::function<void()> action);
  // The user closes the window: `on_close` (the unload steps) runs, then every
  // later yield or wait throws WindowClosed.
  void close();
  std::function<void()> on_close;

  std::optional<MonoTime> next_action_time() const;
  void run_due_actions();

  bool closed() const { return closed_; }
  bool timer_running() const { return timer_running_; }
  const std::string& event_text() const { return event_text_; }
  const std::vector<std::string>& event_history() const { return events_; }
  LedColour led(int index) const { return leds_[index]; }
  const std::vector<LedChange>& led_history() const { return led_history_; }
  int dump_frame() const { return frame_; }
  const std::vector<int>& frame_history() const { return frames_; }
  int progress() const { return progress_; }
  const std::vector<int>& progress_history() const { return progress_history_; }
  int yield_count() const { return yields_; }

 private:
  VirtualClock& clock_;
  bool speed_hi_ = false;
  bool timer_running_ = true;
  bool closed_ = false;
  std::string event_text_ = "Connecting, please wait ...";
  std::vector<std::string> events_;
  LedColour leds_[2] = {LedColour::Off, LedColour::Off};
  std::vector<LedChange> led_history_;
  int frame_ = 0;
  std::vector<int> frames_;
  int progress_ = 0;
  std::vector<int> progress_history_;
  int yields_ = 0;
  std::multimap<MonoTime, std::function<void()>> timed_;
  std::vector<std::pair<std::function<bool()>, std::function<void()>>> conditional_;
};

struct PromptRecord {
  std::string title;
  std::string text;
  std::string default_text;
  std::string answer;
};

struct MessageRecord {
  std::string title;
  std::string text;
};

// Prompts answered from a script (nullopt = Cancel); messages recorded.
class ScriptedDialogs : public Dialogs {
 public:
  void message(const std::string& title, const std::string& text) override;
  std::string prompt(const std::string& title, const std::string& text,
                     const std::string& default_text) override;

  void answer(std::optional<std::string> reply) { answers_.push_back(std::move(reply)); }
  const std::vector<PromptRecord>& prompts() const { return prompts_; }
  const std::vector<MessageRecord>& messages() const { return messages_; }
  bool has_unused_answers() const { return !answers_.empty(); }

 private:
  std::deque<std::optional<std::string>> answers_;
  std::vector<PromptRecord> prompts_;
  std::vector<MessageRecord> messages_;
};

class MemorySettings : public SettingsStore {
 public:
  std::string get(const std::string& key, const std::string& fallback) const override;
  void set(const std::string& key, const std::string& value) override { values_[key] = value; }
  bool has(const std::string& key) const { return values_.count(key) != 0; }
  void erase(const std::string& key) { values_.erase(key); }

 private:
  std::map<std::string, std::string> values_;
};

// One write of the client, as the line carried it.
struct SentChunk {
  MonoTime at;
  int baud;
  int port;
  Bytes bytes;
};

// An in-memory serial line. The client end is the program's SerialPort; the far end
// of each port number is a LineDevice (or nothing: a silent line). Bytes travel at
// the line speed in chunks, and every wait advances virtual time to the next arrival,
// the deadline or the next scripted window action.
class VirtualSerialLine : public SerialPort, public sim::LineEnd {
 public:
  VirtualSerialLine(VirtualClock& clock, ScriptedWindow& window);

  // Port numbers: every port opens, silent, unless given a device or an open error.
  void attach(int port, sim::LineDevice& device);
  void fail_open(int port, std::string error);
  void set_chunk_size(std::size_t bytes) { chunk_size_ = bytes ? bytes : 1; }
  // The driver runs the port at `taken` when asked for `asked`, and says so in the
  // settings it gives back (Wine takes 56000 as 38400, for one).
  void round_speed(int asked, int taken) { rounded_[asked] = taken; }

  // SerialPort
  void set_comm_port(int number) override { comm_port_ = number; }
  void set_settings(const std::string& settings) override { settings_ = settings; }
  std::string settings() const override { return settings_; }
  bool open(std::string& error) override;
  void close() override;
  bool is_open() const override { return open_; }
  void set_dtr(bool on) override;
  void set_rts(bool on) override;
  std::size_t in_buffer_count() override;
  void discard_input() override;
  void output(ByteView bytes) override;
  Bytes input() override;
  void wait_for_input(MonoTime deadline, WindowEvents events, std::size_t bytes) override;
  MonoTime last_arrival() const override { return last_arrival_; }

  // LineEnd
  MonoTime now() const override { return clock_.monotonic(); }
  void send(ByteView bytes, MonoTime at) override;
  void set_device_baud(int baud, MonoTime from) override;
  void drop_queued() override { queued_.clear(); }

  // What the client did.
  const std::vector<SentChunk>& sent() const { return sent_; }
  Bytes sent_bytes() const;  // every byte written, in order
  const std::vector<int>& opened_ports() const { return opened_; }
  const std::vector<std::string>& control_log() const { return control_log_; }
  int comm_port() const { return comm_port_; }
  int client_baud() const;
  int open_count() const { return static_cast<int>(opened_.size()); }

 private:
  struct Arrival {
    MonoTime at;
    Bytes bytes;
  };
  void pump();
  int device_baud_at(MonoTime t) const;
  sim::LineDevice* device() const;

  VirtualClock& clock_;
  ScriptedWindow& window_;
  std::map<int, sim::LineDevice*> devices_;
  std::map<int, std::string> open_errors_;
  std::map<int, int> rounded_;
  std::size_t chunk_size_ = 8;
  int comm_port_ = 1;
  std::string settings_ = kSettings9600;
  bool open_ = false;
  int open_port_ = 0;
  int open_baud_ = 9600;
  bool dtr_ = false;
  bool rts_ = false;
  std::deque<Arrival> queued_;
  Bytes inbuf_;
  MonoTime last_arrival_{0};
  MonoTime to_client_busy_{0};
  MonoTime to_device_busy_{0};
  std::vector<std::pair<MonoTime, int>> device_bauds_{{MonoTime::min(), 9600}};
  std::vector<SentChunk> sent_;
  std::vector<int> opened_;
  std::vector<std::string> control_log_;
};

// Files in a fresh temporary folder, with faults injected on request.
class FaultyFileSystem : public NativeFileSystem {
 public:
  // Makes every operation `op` ("mkdir", "remove", "rename", "open", "write", "sync",
  // "close", "size", "read", "syncdir", "lock") on a path containing `path_part` fail
  // with `error`. A rename fails by the name it would give.
  void fail(std::string op, std::string path_part, std::errc error = std::errc::io_error);
  void clear_faults() { faults_.clear(); }

  std::error_code create_directory(const std::filesystem::path& dir) override;
  std::error_code remove(const std::filesystem::path& file) override;
  std::error_code rename(const std::filesystem::path& from,
                         const std::filesystem::path& to) override;
  std::unique_ptr<TextFile> open(const std::filesystem::path& file, OpenMode mode,
                                 std::error_code& error) override;
  std::uintmax_t file_size(const std::filesystem::path& file, std::error_code& error) override;
  std::string read(const std::filesystem::path& file, std::uintmax_t offset, std::size_t length,
                   std::error_code& error) override;
  std::error_code sync_directory(const std::filesystem::path& dir) override;
  std::unique_ptr<FileLock> try_lock(const std::filesystem::path& file,
                                     std::error_code& error) override;

  std::optional<std::error_code> fault(std::string_view op, const std::filesystem::path& p) const;

 private:
  struct Fault {
    std::string op;
    std::string path_part;
    std::errc error;
  };
  std::vector<Fault> faults_;
};

// Copies the files and folders under `from` into `to`, file by file (as every system,
// Wine included, can), for a run on an earlier run's files.
void copy_tree(const std::filesystem::path& from, const std::filesystem::path& to);

// A stand-in for the system's SHA-256: 64 hex digits that depend on every byte, enough
// for tests of what is kept by digest (the real digests have tests of their own).
class TestDigest : public Digest {
 public:
  std::string sha256_hex(std::string_view data) const override;
};

// Everything the run needs, scripted and in virtual time, with a fresh output folder.
class TestHost {
 public:
  TestHost();
  ~TestHost();
  TestHost(const TestHost&) = delete;
  TestHost& operator=(const TestHost&) = delete;

  VirtualClock clock;
  ScriptedWindow window{clock};
  ScriptedDialogs dialogs;
  MemorySettings settings;
  VirtualSerialLine line{clock, window};
  FaultyFileSystem files;
  TestDigest digest;
  std::filesystem::path output_dir;
  Platform platform;

  std::string read_output(const std::filesystem::path& relative) const;
};

}  // namespace tavric::testhost
