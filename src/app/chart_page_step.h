#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/run_log.h"
#include "session/feedback.h"

namespace tavric {

// The size of the probe data file before the run (none while it is missing), so that
// the wind-up can tell whether the run added readings.
std::optional<std::uintmax_t> ProbeDataSize(FileSystem& files,
                                            const std::filesystem::path& output_dir);

// After the run's files are closed: when the run added to the probe data file, writes
// the chart page beside it. A page that cannot be written is said on the event line and
// in the trace and changes nothing else: the readings are safe whatever the page does.
void WriteChartPageAfterRun(Platform& p, const std::filesystem::path& output_dir,
                            Feedback& feedback, std::optional<std::uintmax_t> size_before);

// The chart page on demand (--report): from the probe data file as it is, no port
// touched. Takes the output folder's lock, so that it never meets a run's writing. Gives
// kExitCompleted, or kExitOutputFailed when the page cannot be written (told on `err`).
int WriteChartPageNow(FileSystem& files, const std::filesystem::path& output_dir,
                      const Clock& clock, RunLog& trace, std::ostream& out, std::ostream& err);

}  // namespace tavric
