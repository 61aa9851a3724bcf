#include "tests/robustness/rig.h"

#include <map>

#include "app/form.h"
#include "app/run.h"
#include "readings/record.h"
#include "readings/record_text.h"
#include "sim/legacy_server.h"
#include "sim/modem.h"
#include "sim/record_generator.h"
#include "sim/v5_server.h"

namespace tavric::robustness {
namespace {

namespace fs = std::filesystem;

const std::error_code kReadOnly = std::make_error_code(std::errc::read_only_file_system);
const std::error_code kFull = std::make_error_code(std::errc::no_space_on_device);

// A file of StepFaultFiles: its writes, sync and close are steps too.
class StepFaultFile : public TextFile {
 public:
  StepFaultFile(std::string path, std::string& content, StepFaultFiles& files)
      : path_(std::move(path)), content_(content), files_(files) {}
  std::error_code write(std::string_view text) override {
    if (closed_) return std::make_error_code(std::errc::bad_file_descriptor);
    if (files_.next_fails()) return kFull;
    content_.append(text);
    files_.wrote(path_);
    return {};
  }
  std::error_code sync() override {
    if (files_.next_fails()) return kFull;
    files_.synced(path_);
    return {};
  }
  std::error_code close() override {
    closed_ = true;
    return files_.next_fails() ? kFull : std::error_code();
  }

 private:
  std::string path_;
  std::string& content_;  // std::map keeps it in place while the file lives
  StepFaultFiles& files_;
  bool closed_ = false;
};

// Output left by earlier runs, so that rotation and appending have work to do.
void seed_history(StepFaultFiles& files, const fs::path& out) {
  files.folders = {out.string(), (out / "Tavric Dumps").string()};
  files.files[(out / "Tavric Dumps" / "Dump00.csv").string()] = "Probe ,RecNo\r\nold run 1\r\n";
  files.files[(out / "Tavric Dumps" / "Dump01.csv").string()] = "Probe ,RecNo\r\nold run 2\r\n";
  files.files[(out / "Tavric Probe Data.csv").string()] = "Probe, Date\r\nold reading\r\n";
}

bool is_legacy(Path p) {
  return p == Path::LegacyLo || p == Path::LegacyHi;
}
bool is_modem(Path p) {
  return p == Path::ModemLo || p == Path::ModemHi;
}
bool is_hi(Path p) {
  return p == Path::LegacyHi || p == Path::V5Hi || p == Path::ModemHi;
}

// Splits into lines at CR LF; a stray CR or LF, or a last line without its end, is torn.
bool whole_lines(const std::string& text, std::vector<std::string>& lines) {
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) return false;
    const std::string line = text.substr(start, end - start);
    if (line.find_first_of("\r\n") != std::string::npos) return false;
    lines.push_back(line);
    start = end + 2;
  }
  return true;
}

}  // namespace

bool StepFaultFiles::next_fails() {
  ++steps_;
  if (mode_ == Mode::Once) return steps_ == step_;
  return mode_ == Mode::FromThenOn && steps_ >= step_;
}

std::error_code StepFaultFiles::create_directory(const fs::path& dir) {
  if (next_fails()) return kReadOnly;
  if (folders.count(dir.string()) || files.count(dir.string()))
    return std::make_error_code(std::errc::file_exists);
  folders.insert(dir.string());
  return {};
}
bool StepFaultFiles::is_regular_file(const fs::path& file) {
  return files.count(file.string()) != 0;
}
bool StepFaultFiles::is_directory(const fs::path& dir) {
  return folders.count(dir.string()) != 0;
}
std::error_code StepFaultFiles::remove(const fs::path& file) {
  if (next_fails()) return kReadOnly;
  return files.erase(file.string()) ? std::error_code()
                                    : std::make_error_code(std::errc::no_such_file_or_directory);
}
std::error_code StepFaultFiles::rename(const fs::path& from, const fs::path& to) {
  if (next_fails()) return kReadOnly;
  if (!files.count(from.string()) || !folders.count(to.parent_path().string()))
    return std::make_error_code(std::errc::no_such_file_or_directory);
  files[to.string()] = std::move(files[from.string()]);
  files.erase(from.string());
  return {};
}
std::unique_ptr<TextFile> StepFaultFiles::open(const fs::path& file, OpenMode mode,
                                               std::error_code& error) {
  error = next_fails() ? kReadOnly : std::error_code();
  if (!error && (!folders.count(file.parent_path().string()) || folders.count(file.string())))
    error = std::make_error_code(std::errc::no_such_file_or_directory);
  if (error) return nullptr;
  std::string& content = files[file.string()];
  if (mode == OpenMode::Replace) content.clear();
  return std::make_unique<StepFaultFile>(file.string(), content, *this);
}
std::uintmax_t StepFaultFiles::file_size(const fs::path& file, std::error_code& error) {
  error = next_fails() ? std::make_error_code(std::errc::io_error) : std::error_code();
  if (!error && !files.count(file.string()))
    error = std::make_error_code(std::errc::no_such_file_or_directory);
  return error ? 0 : files[file.string()].size();
}
std::string StepFaultFiles::read(const fs::path& file, std::uintmax_t offset, std::size_t length,
                                 std::error_code& error) {
  error = next_fails() ? std::make_error_code(std::errc::io_error) : std::error_code();
  if (!error && !files.count(file.string()))
    error = std::make_error_code(std::errc::no_such_file_or_directory);
  if (error) return {};
  const std::string& content = files[file.string()];
  return offset < content.size() ? content.substr(offset, length) : std::string();
}
std::unique_ptr<FileLock> StepFaultFiles::try_lock(const fs::path& file, std::error_code& error) {
  error = next_fails() ? kReadOnly : std::error_code();
  if (!error && !folders.count(file.parent_path().string()))
    error = std::make_error_code(std::errc::no_such_file_or_directory);
  if (error) return nullptr;
  files.try_emplace(file.string());
  return std::make_unique<FileLock>();
}
std::error_code StepFaultFiles::sync_directory(const fs::path& dir) {
  if (next_fails()) return std::make_error_code(std::errc::io_error);
  return folders.count(dir.string()) ? std::error_code()
                                     : std::make_error_code(std::errc::no_such_file_or_directory);
}

void GivingUpDialogs::message(const std::string& title, const std::string&) {
  titles.push_back(title);
}

std::string GivingUpDialogs::prompt(const std::string& title, const std::string&,
                                    const std::string&) {
  titles.push_back(title);
  if (title == "Cell Number") return "5551234";
  if (title == "No Readings") return "0";
  return "";
}

const char* path_name(Path p) {
  static const char* const names[] = {"legacy Lo", "legacy Hi", "v5 Lo",
                                      "v5 Hi",     "modem Lo",  "modem Hi"};
  return names[static_cast<int>(p)];
}

std::vector<sim::Record> store_records(Path path, int store) {
  sim::GeneratorOptions options;
  options.seed = 11;
  options.mix = sim::RecordMix::clean();
  sim::RecordGenerator generator(options);
  if (store == 0) return generator.take(is_legacy(path) ? 8 : 5);
  // Four plain readings, a kind-0 reading (no check of its own, so the stream cannot
  // carry it), an entry without sensor values and a settings record.
  std::vector<sim::Record> records = generator.take(4);
  sim::Reading r;
  r.probe_id = 77;
  r.record_number = 9;
  r.temperature = {20, 19, 18, 17, 16, 15};
  r.moisture = {30, 31, 32, 33, 34, 35};
  records.push_back(sim::encode_kind0(r));
  r.probe_id = 78;
  records.push_back(sim::encode_kind2(r));
  records.push_back(sim::encode_other_kind(4, 79, {}));
  return records;
}

Outcome run(const Scenario& sc) {
  // The test host's parts, without its folder on the disk: the files live in memory.
  testhost::VirtualClock clock;
  clock.set_local(LocalDateTime{2012, 3, 4, 14, 5, 0});
  testhost::ScriptedWindow window(clock);
  testhost::VirtualSerialLine line(clock, window);
  testhost::MemorySettings settings;
  GivingUpDialogs dialogs;
  StepFaultFiles files(clock, sc.file_step, sc.file_mode);
  const fs::path out_dir = "/run-output";
  Platform platform{window, dialogs, line, settings, clock, files, out_dir};
  DownloadRun session(platform);
  settings.set("Port", "1");
  settings.set("Speed", is_hi(sc.path) ? "1" : "0");
  seed_history(files, out_dir);

  const std::vector<sim::Record> records = store_records(sc.path, sc.store);
  static std::map<std::pair<Path, int>, std::vector<RecordLines>> expected;
  auto [at, fresh] = expected.try_emplace({sc.path, sc.store});
  if (fresh) at->second = reading_lines(records);
  std::unique_ptr<sim::LegacyServer> legacy;
  std::unique_ptr<sim::V5Server> v5;
  std::unique_ptr<sim::CellModem> modem;
  if (is_legacy(sc.path)) {
    sim::LegacyServer::Config c;
    c.records = records;
    c.faults = sc.faults;
    legacy = std::make_unique<sim::LegacyServer>(c);
    line.attach(1, *legacy);
  } else {
    sim::V5Server::Config c;
    c.records = records;
    // The second store wraps round the end of a small store.
    c.buffer_size = sc.store == 0 ? 64 : 8;
    c.write_pointer = sc.store == 0 ? static_cast<int>(records.size()) : 3;
    c.faults = sc.faults;
    v5 = std::make_unique<sim::V5Server>(c);
    if (is_modem(sc.path)) {
      modem = std::make_unique<sim::CellModem>(*v5);
      line.attach(1, *modem);
    } else {
      line.attach(1, *v5);
    }
  }

  Form_Load(window, settings);
  Outcome out;
  out.status = tmr_Timer(session).value_or(-1);
  out.file_steps = files.steps();
  out.requests = legacy ? static_cast<int>(legacy->requests().size())
                        : static_cast<int>(v5->requests().size());
  out.frames = v5 ? v5->frames_sent() : 0;
  out.cleared = (legacy ? legacy->clear_count() : v5->clear_count()) > 0;
  const fs::path dump = out_dir / "Tavric Dumps" / "Dump00.csv";
  const fs::path probe = out_dir / "Tavric Probe Data.csv";
  out.violation = check_invariant(at->second, files.files[dump.string()],
                                  files.files[probe.string()], out.cleared);
  // The files written must have been synced after their last write when the server took
  // in the clearing request it answered.
  const int clear = legacy ? 3 : 9;
  for (const auto& r : legacy ? legacy->requests() : v5->requests()) {
    if (r.command != clear || !r.answered) continue;
    for (const fs::path& file : {dump, probe}) {
      const auto it = files.durable_at.find(file.string());
      if (it == files.durable_at.end() || (it->second && *it->second <= r.at)) continue;
      if (out.violation.empty()) {
        out.violation = "store cleared before " + file.filename().string() + " was synced";
      }
    }
    break;
  }
  return out;
}

std::vector<RecordLines> reading_lines(const std::vector<sim::Record>& records) {
  const VoltageTable volts = BuildVoltageTable();
  std::vector<RecordLines> out;
  for (const sim::Record& r : records) {
    RecordBytes b;
    std::copy(r.begin(), r.end(), b.begin());
    const RecordResult result = DecodeRecord(b, RecordCheck(b) == 0, RecordRules::Fetch, volts);
    if (result.verdict == RecordVerdict::Reading) out.push_back(LinesFor(result));
  }
  return out;
}

std::string check_invariant(const std::vector<RecordLines>& readings, const std::string& dump,
                            const std::string& probe, bool cleared) {
  std::vector<std::string> dump_lines, probe_lines;
  if (!whole_lines(dump, dump_lines)) return "torn line in the dump file";
  if (!whole_lines(probe, probe_lines)) return "torn line in the probe data file";
  std::map<std::string, int> in_dump, in_probe;
  for (const auto& l : dump_lines) ++in_dump[l + "\r\n"];
  for (const auto& l : probe_lines) ++in_probe[l + "\r\n"];
  for (const RecordLines& lines : readings) {
    for (const auto& [line, count] : {std::pair{&lines.dump, in_dump[lines.dump]},
                                      std::pair{&lines.probe, in_probe[lines.probe]}}) {
      if (line->empty()) continue;
      if (count > 1) return "reading written " + std::to_string(count) + " times: " + *line;
      if (cleared && count == 0) return "store cleared without the reading " + *line;
    }
  }
  return {};
}

}  // namespace tavric::robustness
