#include "app/chart_page_step.h"

#include <chrono>
#include <string>

#include "app/command_line.h"
#include "readings/output_files.h"
#include "readings/output_folder.h"
#include "report/chart_page.h"
#include "session/exit_status.h"
#include "session/feedback.h"

namespace tavric {
namespace {

namespace fs = std::filesystem;

report::ChartPageOutcome timed_write(FileSystem& files, const fs::path& output_dir,
                                     const Clock& clock, RunLog* trace,
                                     std::optional<LocalDateTime> run_ended) {
  const MonoTime start = clock.monotonic();
  report::ChartPageOutcome outcome =
      report::WriteChartPage(files, output_dir, clock.local_now(), run_ended);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(clock.monotonic() - start).count();
  const std::string page = "chart page \"" + path_text(output_dir / report::kChartPageFile) + "\"";
  if (outcome.failure.empty()) {
    log_note(trace, page + " written: " + std::to_string(outcome.readings) + " readings of " +
                        std::to_string(outcome.probes) + " probes, " +
                        std::to_string(outcome.lines_skipped) + " lines skipped, " +
                        std::to_string(outcome.bytes) + " bytes in " + std::to_string(ms) + " ms");
  } else {
    log_note(trace, page + " not written: " + outcome.failure);
  }
  log_flush(trace);
  return outcome;
}

}  // namespace

std::optional<std::uintmax_t> ProbeDataSize(FileSystem& files, const fs::path& output_dir) {
  const fs::path file = output_dir / kProbeDataFile;
  if (!files.is_regular_file(file)) return std::nullopt;
  std::error_code error;
  const std::uintmax_t size = files.file_size(file, error);
  return error ? std::nullopt : std::optional(size);
}

void WriteChartPageAfterRun(Platform& p, const fs::path& output_dir, Feedback& feedback,
                            std::optional<std::uintmax_t> size_before) {
  const std::optional<std::uintmax_t> size_after = ProbeDataSize(p.files, output_dir);
  if (!size_after || *size_after <= size_before.value_or(0)) return;  // no reading added
  const report::ChartPageOutcome outcome =
      timed_write(p.files, output_dir, p.clock, p.log, p.clock.local_now());
  if (!outcome.failure.empty()) feedback.ShowEvent("Chart page not written: " + outcome.failure);
}

int WriteChartPageNow(FileSystem& files, const fs::path& output_dir, const Clock& clock,
                      RunLog& trace, std::ostream& out, std::ostream& err) {
  std::error_code error;
  const std::unique_ptr<FileLock> lock = files.try_lock(output_dir / kFolderLockFile, error);
  if (!lock) {
    const std::string why =
        held_elsewhere(error) ? "a run is using the output folder; it writes the page when it ends"
                              : path_text(output_dir) + ": " + error.message();
    trace.note("chart page not written: " + why);
    err << kProgramName << ": chart page not written: " << why << std::endl;
    return kExitOutputFailed;
  }
  const report::ChartPageOutcome outcome =
      timed_write(files, output_dir, clock, &trace, std::nullopt);
  if (!outcome.failure.empty()) {
    err << kProgramName << ": chart page not written: " << outcome.failure << std::endl;
    return kExitOutputFailed;
  }
  out << kProgramName << ": chart page written: " << path_text(output_dir / report::kChartPageFile)
      << " (" << outcome.readings << " readings of " << outcome.probes << " probes)" << std::endl;
  return kExitCompleted;
}

}  // namespace tavric
