#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "readings/record_text.h"
#include "sim/faults.h"
#include "sim/record.h"
#include "tests/host/test_host.h"

namespace tavric::robustness {

// Files kept in memory whose folder turns unwritable at one step of the run. Every
// operation that changes a file or a folder, or reads a file or its size, is a step,
// counted from 1. A write lands at once but is durable only once a sync follows it.
class StepFaultFiles : public FileSystem {
 public:
  enum class Mode { Never, Once, FromThenOn };
  StepFaultFiles(const Clock& clock, int step = 0, Mode mode = Mode::Never)
      : clock_(clock), step_(step), mode_(mode) {}

  int steps() const { return steps_; }
  std::map<std::string, std::string> files;  // content by path
  std::set<std::string> folders;
  // For each file written: when a sync made its last write durable, or nothing.
  std::map<std::string, std::optional<MonoTime>> durable_at;
  void wrote(const std::string& path) { durable_at[path].reset(); }
  void synced(const std::string& path) {
    if (auto& at = durable_at[path]; !at) at = clock_.monotonic();
  }
  // Counts one step; true when it is to fail.
  bool next_fails();

  std::error_code create_directory(const std::filesystem::path& dir) override;
  bool is_regular_file(const std::filesystem::path& file) override;
  bool is_directory(const std::filesystem::path& dir) override;
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

 private:
  const Clock& clock_;
  int step_;
  Mode mode_;
  int steps_ = 0;
};

// Prompts answered as an operator who gives up on a dead line would: no other port,
// no reload, no PIN, and a number to dial when a modem asks.
class GivingUpDialogs : public Dialogs {
 public:
  void message(const std::string& title, const std::string& text) override;
  std::string prompt(const std::string& title, const std::string& text,
                     const std::string& default_text) override;
  std::vector<std::string> titles;  // prompts and messages in order
};

enum class Path { LegacyLo, LegacyHi, V5Lo, V5Hi, ModemLo, ModemHi };
const char* path_name(Path p);
inline constexpr Path kAllPaths[] = {Path::LegacyLo, Path::LegacyHi, Path::V5Lo,
                                     Path::V5Hi,     Path::ModemLo,  Path::ModemHi};

struct Scenario {
  Path path = Path::V5Lo;
  int store = 0;  // 0: plain readings in one piece; 1: mixed entries, wrapped or part block
  sim::FaultPlan faults;
  int file_step = 0;
  StepFaultFiles::Mode file_mode = StepFaultFiles::Mode::Never;
};

struct Outcome {
  int status = -1;
  int requests = 0;    // requests the server accepted
  int frames = 0;      // stream frames the server sent
  int file_steps = 0;  // file steps the run took
  bool cleared = false;
  // Empty, or what broke: a torn line, a reading written twice, or a store cleared
  // while a reading of it is missing from the files or not yet durable there.
  std::string violation;
};

// The records a scenario's server holds.
std::vector<sim::Record> store_records(Path path, int store);

// One whole launch in virtual time against the scenario's server, then the check.
Outcome run(const Scenario& sc);

// The lines of each record that is a reading, as a fetch writes them.
std::vector<RecordLines> reading_lines(const std::vector<sim::Record>& records);

// The check itself: both files hold whole CR LF lines only; every reading is in them
// at most once, and exactly once when the store was cleared.
std::string check_invariant(const std::vector<RecordLines>& readings, const std::string& dump,
                            const std::string& probe, bool cleared);

}  // namespace tavric::robustness
