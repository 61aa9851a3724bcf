#pragma once

// A platform for fuzzing the run's routines: virtual time, a window and settings that
// do nothing, output files in memory, and a serial line whose far end sends what the
// fuzzer wrote. Everything lives for one input, so no state carries over.

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/download_run.h"

namespace tavric::fuzz {

// Stops the fuzzer with a message: a property of the routine under test broke.
[[noreturn]] inline void fail(const std::string& what) {
  std::fprintf(stderr, "property broken: %s\n", what.c_str());
  std::abort();
}
inline void require(bool ok, const std::string& what) {
  if (!ok) fail(what);
}

// Reads the fuzz input from the front, byte by byte; past its end every read gives 0.
class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return pos_ >= size_; }
  Byte byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  Bytes bytes(std::size_t n) {
    Bytes out;
    while (n-- > 0 && !empty()) out.push_back(byte());
    return out;
  }
  std::string text() { return std::string(data_ + pos_, data_ + size_); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// One arrival on the line: `bytes` come `delay` after the program starts waiting.
struct Chunk {
  MonoTime delay{0};
  Bytes bytes;
};

// The rest of the input as arrivals: [delay in 10 ms][length][bytes] ..., a length of
// 0 standing for 1.
inline std::deque<Chunk> read_chunks(Reader& r) {
  std::deque<Chunk> chunks;
  while (!r.empty()) {
    Chunk c;
    c.delay = std::chrono::milliseconds(10 * r.byte());
    const std::size_t n = r.byte();
    c.bytes = r.bytes(n == 0 ? 1 : n);
    chunks.push_back(std::move(c));
  }
  return chunks;
}

class FuzzClock : public Clock {
 public:
  MonoTime monotonic() const override { return now; }
  LocalDateTime local_now() const override { return {2012, 3, 4, 14, 5, 0}; }
  MonoTime now{std::chrono::seconds(1000)};
};

class QuietWindow : public Window {
 public:
  explicit QuietWindow(FuzzClock& clock) : clock_(clock) {}
  void set_event_text(const std::string&) override {}
  void show_led(int, LedColour) override {}
  void show_dump_frame(int) override {}
  void set_progress(int percent) override {
    require(percent >= 0 && percent <= 100, "progress " + std::to_string(percent));
  }
  bool speed_hi() const override { return hi; }
  void set_speed_hi(bool h) override { hi = h; }
  void stop_timer() override {}
  void yield() override {}
  void check_open() override {}
  void sleep_until(MonoTime deadline) override { clock_.now = std::max(clock_.now, deadline); }
  bool hi = false;

 private:
  FuzzClock& clock_;
};

// Prompts answered in turn from `answers`, then with nothing (Cancel).
class ScriptDialogs : public Dialogs {
 public:
  void message(const std::string&, const std::string&) override {}
  std::string prompt(const std::string&, const std::string&, const std::string&) override {
    return next < answers.size() ? answers[next++] : std::string();
  }
  std::vector<std::string> answers;
  std::size_t next = 0;
};

class MapSettings : public SettingsStore {
 public:
  std::string get(const std::string& key, const std::string& fallback) const override {
    auto it = values.find(key);
    return it == values.end() ? fallback : it->second;
  }
  void set(const std::string& key, const std::string& value) override { values[key] = value; }
  std::map<std::string, std::string> values;
};

// Output files in memory. Every write to the dump and probe data files must be one
// whole line: a crash between two writes then never leaves half a line behind.
class MemoryFiles : public FileSystem {
 public:
  class File : public TextFile {
   public:
    File(std::string& content, bool csv) : content_(content), csv_(csv) {}
    std::error_code write(std::string_view text) override {
      if (csv_) {
        require(text.size() >= 2 && text.substr(text.size() - 2) == "\r\n",
                "a write that is not whole lines: " + std::string(text));
        require(text.substr(0, text.size() - 2).find_first_of("\r\n") == std::string_view::npos,
                "a stray line break in: " + std::string(text));
      }
      content_.append(text);
      return {};
    }
    std::error_code sync() override { return {}; }
    std::error_code close() override { return {}; }

   private:
    std::string& content_;
    bool csv_;
  };

  std::error_code create_directory(const std::filesystem::path&) override { return {}; }
  bool is_regular_file(const std::filesystem::path& f) override { return files.count(f.string()); }
  bool is_directory(const std::filesystem::path&) override { return true; }
  std::error_code remove(const std::filesystem::path& f) override {
    files.erase(f.string());
    return {};
  }
  std::error_code rename(const std::filesystem::path& from,
                         const std::filesystem::path& to) override {
    files[to.string()] = files[from.string()];
    files.erase(from.string());
    return {};
  }
  std::unique_ptr<TextFile> open(const std::filesystem::path& f, OpenMode mode,
                                 std::error_code& error) override {
    error.clear();
    std::string& content = files[f.string()];
    if (mode == OpenMode::Replace) content.clear();
    return std::make_unique<File>(content, f.extension() == ".csv");
  }
  std::uintmax_t file_size(const std::filesystem::path& f, std::error_code& error) override {
    error.clear();
    return files[f.string()].size();
  }
  std::string read(const std::filesystem::path& f, std::uintmax_t offset, std::size_t length,
                   std::error_code& error) override {
    error.clear();
    const std::string& content = files[f.string()];
    return offset < content.size() ? content.substr(offset, length) : std::string();
  }
  std::error_code sync_directory(const std::filesystem::path&) override { return {}; }
  std::unique_ptr<FileLock> try_lock(const std::filesystem::path&,
                                     std::error_code& error) override {
    error.clear();
    return std::make_unique<FileLock>();
  }

  // The lines of a file, without their ends.
  std::vector<std::string> lines(const std::string& name) const {
    std::vector<std::string> out;
    for (const auto& [path, content] : files) {
      if (path.size() < name.size() || path.compare(path.size() - name.size(), name.size(), name))
        continue;
      for (std::size_t at = 0; at < content.size();) {
        const std::size_t end = content.find("\r\n", at);
        out.push_back(content.substr(at, end - at));
        at = end + 2;
      }
    }
    return out;
  }

  std::map<std::string, std::string> files;
};

// The serial line. Each arrival is scheduled when the program first waits for it, so
// its delay is measured from there: the fuzzer picks every gap against every wait.
// `on_output` may answer a request by putting arrivals in front of the rest.
class FuzzLine : public SerialPort {
 public:
  explicit FuzzLine(FuzzClock& clock) : clock_(clock) {}

  void set_comm_port(int) override {}
  void set_settings(const std::string& s) override { settings_ = s; }
  std::string settings() const override { return settings_; }
  bool open(std::string& error) override {
    error.clear();
    open_ = true;
    return true;
  }
  void close() override { open_ = false; }
  bool is_open() const override { return open_; }
  void set_dtr(bool) override {}
  void set_rts(bool) override {}
  std::size_t in_buffer_count() override {
    deliver_due();
    return inbuf_.size();
  }
  void discard_input() override {
    deliver_due();
    inbuf_.clear();
  }
  void output(ByteView bytes) override {
    sent.insert(sent.end(), bytes.begin(), bytes.end());
    if (on_output) on_output(bytes);
  }
  Bytes input() override {
    deliver_due();
    Bytes out;
    out.swap(inbuf_);
    return out;
  }
  void wait_for_input(MonoTime deadline, WindowEvents, std::size_t bytes) override {
    for (;;) {
      deliver_due();
      if (inbuf_.size() >= std::max<std::size_t>(bytes, 1) || clock_.now >= deadline) return;
      if (pending.empty()) break;
      if (!due_) due_ = clock_.now + pending.front().delay;
      if (*due_ > deadline) break;
      clock_.now = std::max(clock_.now, *due_);
    }
    clock_.now = std::max(clock_.now, deadline);
  }
  MonoTime last_arrival() const override { return last_arrival_; }

  std::deque<Chunk> pending;
  Bytes sent;
  std::function<void(ByteView)> on_output;

 private:
  void deliver_due() {
    if (pending.empty() || !due_ || *due_ > clock_.now) return;
    inbuf_.insert(inbuf_.end(), pending.front().bytes.begin(), pending.front().bytes.end());
    last_arrival_ = *due_;
    pending.pop_front();
    due_.reset();
  }

  FuzzClock& clock_;
  std::string settings_ = kSettings9600;
  bool open_ = true;
  Bytes inbuf_;
  MonoTime last_arrival_{0};
  std::optional<MonoTime> due_;
};

// Everything a download run needs, for one input.
struct FuzzHost {
  FuzzClock clock;
  QuietWindow window{clock};
  ScriptDialogs dialogs;
  MapSettings settings;
  FuzzLine line{clock};
  MemoryFiles files;
  Platform platform{window, dialogs, line, settings, clock, files, "/out"};
  DownloadRun run{platform};
};

}  // namespace tavric::fuzz
