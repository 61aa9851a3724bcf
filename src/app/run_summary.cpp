#include "app/run_summary.h"

#include <algorithm>
#include <cmath>

#include "app/command_line.h"
#include "app/stages.h"
#include "readings/low_battery.h"
#include "readings/output_files.h"
#include "report/chart_page.h"
#include "session/exit_status.h"

namespace tavric {
namespace {

namespace fs = std::filesystem;

// Lines of `file` from `offset` on, read in pieces so that a large file costs no memory.
std::int64_t lines_from(FileSystem& files, const fs::path& file, std::uintmax_t offset) {
  constexpr std::size_t kPiece = 1 << 20;
  std::int64_t lines = 0;
  for (;;) {
    std::error_code error;
    const std::string piece = files.read(file, offset, kPiece, error);
    if (error) return lines;
    for (const char c : piece) lines += c == '\n';
    if (piece.size() < kPiece) return lines;
    offset += piece.size();
  }
}

// "20 s", "3 min 5 s", "3 h": an offset in its largest unit and the one below it.
std::string duration_text(std::int64_t seconds) {
  const std::int64_t units[] = {86400, 3600, 60, 1};
  const char* names[] = {"d", "h", "min", "s"};
  int i = 0;
  while (i < 3 && seconds < units[i]) ++i;
  std::string text = std::to_string(seconds / units[i]) + " " + names[i];
  const std::int64_t next = i < 3 ? seconds % units[i] / units[i + 1] : 0;
  if (next > 0) text += " " + std::to_string(next) + " " + names[i + 1];
  return text;
}

std::string server_text(const DownloadRun& run, const RunFacts& facts, int status) {
  // A run that ends at the port prompt has taken the empty answer as port 0; the
  // setting still holds the last port tried.
  const std::string number =
      run.PortNumber != 0 ? std::to_string(run.PortNumber) : run.p.settings.get("Port", "0");
  const std::string port = "port " + number;
  // A port answered away to 0 names none.
  const std::string on_port = number == "0" ? "" : " (" + port + ")";
  if (!facts.connected) {
    if (status == kExitFolderBusy) return "the output folder was in use by another run";
    if (status == kExitModemFailed) return "the cell modem dialogue failed" + on_port;
    return "no server found" + on_port;
  }
  return std::string(facts.legacy ? "legacy" : "v5") + " server " +
         (facts.by_modem ? "by cell modem on " : "direct on ") + port;
}

std::string store_text(const DownloadRun& run, const RunFacts& facts, int status, bool legacy) {
  if (!facts.connected) return "store untouched";
  if (status == kExitCompleted) return "store cleared";
  if (run.link.NoComms) return "store kept: the link to the server was lost";
  const std::string& fault = run.output.OutputFault();
  if (!fault.empty()) return "store kept: cannot write " + fault;
  if (run.missing.ReadingsMissing) return "store kept: " + MissingText(run.missing, legacy);
  return "store kept: the run was ended before it was cleared";
}

std::string clock_text(const DownloadRun& run, const RunFacts& facts, int status) {
  // The clock is set before the store is cleared, while the link holds.
  const bool set =
      facts.connected && !run.link.NoComms &&
      (status == kExitCompleted || status == kExitOutputFailed || status == kExitReadingsKept);
  if (!set) return "server clock not set";
  const std::int64_t offset =
      std::llround(static_cast<double>(run.status.LoggerClockOffset) * 86400.0);
  if (offset == 0) return "server clock set (it was right)";
  return "server clock set (it was " + duration_text(offset > 0 ? offset : -offset) +
         (offset > 0 ? " behind)" : " ahead)");
}

}  // namespace

std::vector<std::string> SummariseRun(const DownloadRun& run, const RunFacts& facts, int status) {
  FileSystem& files = run.p.files;
  const fs::path& dir = run.output.folder();
  const fs::path dump = dir / kDumpFolder / "Dump00.csv";
  const fs::path probe_data = dir / kProbeDataFile;
  const fs::path chart = dir / report::kChartPageFile;
  // Only a run that had readings to fetch starts a dump; the probe data file grows by
  // the readings it wrote.
  const bool dumped = facts.connected && run.status.NewReadings > 0 && files.is_regular_file(dump);
  const std::int64_t fetched =
      dumped ? std::max<std::int64_t>(lines_from(files, dump, 0) - 1, 0) : 0;
  std::error_code error;
  const std::uintmax_t size_after =
      files.is_regular_file(probe_data) ? files.file_size(probe_data, error) : 0;
  const std::uintmax_t size_before = facts.probe_data_before.value_or(0);
  const bool grew = !error && size_after > size_before;
  std::int64_t written = grew ? lines_from(files, probe_data, size_before) : 0;
  // A new probe data file starts with its header.
  if (grew && !facts.probe_data_before && written > 0) --written;

  // The units of the low-battery message, without its first line.
  std::string low = run.low_batteries.LowBatteryText();
  low.erase(0, low.find('\r') == std::string::npos ? low.size() : low.find('\r') + 1);
  std::string first = server_text(run, facts, status);
  if (facts.connected) {
    first += ": " + std::to_string(fetched) + " records fetched, " + std::to_string(written) +
             " readings written; " + store_text(run, facts, status, facts.legacy) + "; " +
             clock_text(run, facts, status) + "; low batteries: " + (low.empty() ? "none" : low);
  } else {
    first += "; " + store_text(run, facts, status, facts.legacy);
  }
  std::string second =
      "dump file: " + (dumped ? path_text(dump) : std::string("none")) +
      "; probe data file: " + (grew ? path_text(probe_data) : "not added to") +
      "; chart page: " + (grew && files.is_regular_file(chart) ? path_text(chart) : "none");
  return {first, second};
}

void NoteRunSummary(DownloadRun& run, const RunFacts& facts, int status) {
  run.RunSummary = SummariseRun(run, facts, status);
  for (const std::string& line : run.RunSummary) log_note(run.p.log, "summary: " + line);
  log_flush(run.p.log);
}

void PrintRunSummary(const std::vector<std::string>& lines, std::ostream& out) {
  for (const std::string& line : lines) out << kProgramName << ": " << line << "\n";
  out.flush();
}

}  // namespace tavric
