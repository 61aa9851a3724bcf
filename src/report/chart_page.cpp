#include "report/chart_page.h"

#include "report/field_scan.h"
#include "report/page_html.h"

namespace tavric::report {
namespace {

namespace fs = std::filesystem;

// The page in pieces of about this size, so that each write is worth its call.
constexpr std::size_t kWriteSize = 1 << 18;

std::string failure_text(const fs::path& file, std::error_code error) {
  return path_text(file) + ": " + error.message();
}

}  // namespace

ChartPageOutcome WriteChartPage(FileSystem& files, const fs::path& output_dir,
                                const LocalDateTime& now, std::optional<LocalDateTime> run_ended) {
  ChartPageOutcome outcome;
  FieldData data;
  outcome.failure = scan_field(files, output_dir, data);
  if (!outcome.failure.empty()) return outcome;
  outcome.readings = data.lines_taken;
  outcome.lines_skipped = data.lines_skipped;
  outcome.probes = data.probes.size();

  const fs::path page = output_dir / kChartPageFile;
  const fs::path temporary = output_dir / (std::string(kChartPageFile) + ".new");
  std::error_code error;
  std::unique_ptr<TextFile> file = files.open(temporary, OpenMode::Replace, error);
  if (!file) {
    outcome.failure =
        failure_text(temporary, error ? error : std::make_error_code(std::errc::io_error));
    return outcome;
  }
  std::string pending;
  const auto flush = [&] {
    if (!error && !pending.empty()) error = file->write(pending);
    outcome.bytes += pending.size();
    pending.clear();
  };
  write_page(data, PageFacts{output_dir, now, run_ended}, [&](std::string_view piece) {
    pending += piece;
    if (pending.size() >= kWriteSize) flush();
  });
  flush();
  if (!error) error = file->sync();
  if (const std::error_code closed = file->close(); !error) error = closed;
  if (!error) error = files.rename(temporary, page);
  if (error) {
    outcome.failure = failure_text(page, error);
    files.remove(temporary);
  }
  return outcome;
}

}  // namespace tavric::report
