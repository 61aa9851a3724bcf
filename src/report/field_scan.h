#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "report/probe_summary.h"

namespace tavric::report {

// The newest dump, Dump00.csv: the readings of the last run that fetched any.
struct LastRun {
  std::uint64_t readings = 0;
  std::optional<Seconds> newest;  // the newest reading it brought
};

inline constexpr int kDumpFiles = 100;

// The records of one probe that the dumps mark as damaged, and the dumps they are in
// (0: the last run's, Dump00.csv).
struct Damage {
  std::uint64_t crc_errors = 0;
  std::uint64_t invalid = 0;
  std::bitset<kDumpFiles> dumps;
};

// The units of the last run's "Low Batteries" message, gathered from its dump by the
// run's own rule: each unit once, in the order of its first low reading, with its lowest
// voltage; the first 100 units only; only ids above 0 are named.
class LowBatteryList {
 public:
  struct Unit {
    int probe;
    Hundredths volts;
  };
  void add(int probe, Hundredths volts);
  const std::vector<Unit>& units() const { return units_; }
  // "17 (3.0V), 5 (3.1V)" as the message names them; empty when it names none.
  std::string text() const;

 private:
  std::vector<Unit> units_;
};

// Everything the chart page shows, gathered in one pass over the probe data file and
// one over each dump file.
struct FieldData {
  bool probe_data_found = false;  // the probe data file is there
  std::uint64_t lines_taken = 0;
  std::uint64_t lines_skipped = 0;           // lines that do not read as readings
  std::vector<std::uint64_t> first_skipped;  // line numbers of the first few of them
  std::optional<LastRun> last_run;
  int dumps_read = 0;
  std::optional<Seconds> ambient_from;  // the span the dumps' ambient temperatures cover
  std::optional<Seconds> ambient_to;
  std::map<int, ProbeSummary> probes;
  LowBatteryList last_run_low;
  std::map<int, Damage> damage;                                // by probe id
  std::array<std::optional<Seconds>, kDumpFiles> dump_newest;  // each dump's newest reading
};

inline constexpr std::size_t kSkippedLinesNamed = 5;

// Reads the probe data file and the dumps of `output_dir`. Gives the file and the
// reason of a read that failed, or an empty text.
std::string scan_field(FileSystem& files, const std::filesystem::path& output_dir, FieldData& data);

}  // namespace tavric::report
