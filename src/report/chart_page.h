#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/calendar.h"
#include "platform/file_system.h"

namespace tavric::report {

inline constexpr const char* kChartPageFile = "Tavric Probe Data.html";

// How writing the page went.
struct ChartPageOutcome {
  std::string failure;  // "<file>: <reason>", empty when the page was written
  std::uintmax_t bytes = 0;
  std::uint64_t readings = 0;
  std::uint64_t lines_skipped = 0;
  std::size_t probes = 0;
};

// Writes "Tavric Probe Data.html" in `output_dir` from its probe data file and dumps:
// first under a temporary name, then renamed over the old page, so that a reader never
// sees half a page. `run_ended` is the end of the run the page follows, if any.
ChartPageOutcome WriteChartPage(FileSystem& files, const std::filesystem::path& output_dir,
                                const LocalDateTime& now,
                                std::optional<LocalDateTime> run_ended = std::nullopt);

}  // namespace tavric::report
