#pragma once

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
};

inline constexpr std::size_t kSkippedLinesNamed = 5;

// Reads the probe data file and the dumps of `output_dir`. Gives the file and the
// reason of a read that failed, or an empty text.
std::string scan_field(FileSystem& files, const std::filesystem::path& output_dir, FieldData& data);

}  // namespace tavric::report
