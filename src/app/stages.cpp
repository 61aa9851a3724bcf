#include "app/stages.h"

#include <algorithm>
#include <string>

#include "link/line_speed.h"
#include "platform/number_rule.h"
#include "platform/run_control.h"
#include "protocol/requests.h"
#include "readings/bulk_download.h"
#include "readings/fetch.h"
#include "readings/output_files.h"

namespace tavric {
namespace {

// The highest block counter a legacy data-block request can carry.
constexpr std::int32_t kMaxLegacyBlocks = 32704;

void ReadingCount(DownloadRun& run, bool legacy) {
  ServerStatus& s = run.status;
  if (s.NewReadings != 0) return;
  s.NewReadings = prompt_count32(run.p.dialogs.prompt(
      "No Readings",
      "There are no new readings on the server. Specify the number of readings you want to "
      "reload.",
      ""));
  if (legacy) return;
  // A store of N slots holds at most N - 1 readings, those that end just before the
  // write position: a reload of that many or more fetches them all.
  s.NewReadings = std::min(s.NewReadings, s.BufferSize - 1);
  // Start that many slots back from the write position, wrapping round the store.
  const std::int64_t size = s.BufferSize;
  const std::int64_t start = static_cast<std::int64_t>(s.WritePointer) - s.NewReadings;
  s.ReadPointer = static_cast<std::int32_t>((start % size + size) % size);
}

std::string loading_text(long long count, long long total) {
  return "Loading reading " + std::to_string(count) + "/" + std::to_string(total);
}

// Notes in the trace the blocks `first`..`last` (counted from 1) that were not fetched.
void note_blocks_missing(RunLog* log, std::int32_t first, std::int32_t last) {
  const auto block = [](std::int32_t i) { return std::to_string(i + 63); };
  log_note(log, first == last ? "block " + std::to_string(first) + " (block number " +
                                    block(first) + ") not fetched"
                              : "blocks " + std::to_string(first) + " to " + std::to_string(last) +
                                    " (block numbers " + block(first) + " to " + block(last) +
                                    ") not fetched");
}

// No block past the last counter a request can carry can be fetched, by this run or
// any other: they count as missing, so that the store they are in is kept.
void LimitLegacyBlocks(DownloadRun& run) {
  ServerStatus& s = run.status;
  if (s.NewReadings <= kMaxLegacyBlocks) return;
  const std::int32_t beyond = s.NewReadings - kMaxLegacyBlocks;
  run.missing.NoteMissing(beyond);
  run.missing.UnreachableCount = beyond;
  log_note(run.p.log, std::to_string(beyond) +
                          " blocks lie past the last block that can be asked for and cannot be "
                          "fetched");
  s.NewReadings = kMaxLegacyBlocks;
}

// The legacy line speed change; a change that asked the server decides the link.
void ChangeSpeed(DownloadRun& run, std::int16_t Baud) {
  const std::optional<bool> answered =
      SetBaudrate(run.line, run.link.SpeedRaised, run.p.window.speed_hi(), Baud);
  if (answered) run.link.NoComms = !*answered;
}

void DownloadLegacy(DownloadRun& run) {
  LimitLegacyBlocks(run);
  ChangeSpeed(run, 1);
  const std::int32_t total = run.status.NewReadings;
  RecordWriter out = run.writer();
  Feedback& feedback = run.feedback;
  bool& NoComms = run.link.NoComms;
  std::int32_t missing_from = 0;  // the first of a run of blocks not fetched
  for (std::int32_t i = 1; i <= total; ++i) {
    feedback.NextDumpImg();
    feedback.SetProgress(static_cast<long long>(100.0 * i / total));
    feedback.yield();
    feedback.ShowEvent(loading_text(i, total));
    // A fault while the block is fetched counts it as not fetched.
    const bool fetched =
        !NoComms && skip_on_fault([&] { NoComms = !GetData(run.line, out, i); }) && !NoComms;
    if (!fetched) {
      run.missing.NoteMissing(1);
      if (missing_from == 0) missing_from = i;
    } else if (missing_from != 0) {
      note_blocks_missing(run.p.log, missing_from, i - 1);
      missing_from = 0;
    }
    if (i == INT32_MAX) break;
  }
  if (missing_from != 0) note_blocks_missing(run.p.log, missing_from, total);
  ChangeSpeed(run, 0);
}

// Fetches every reading the status told of, slot by slot from the read pointer: up to
// the write pointer, and on past it when the count says more are new (a full store,
// where the two pointers meet).
void DownloadOneByOne(DownloadRun& run) {
  ServerStatus& s = run.status;
  const std::int32_t total = StreamLength(s);
  RecordWriter out = run.writer();
  bool& NoComms = run.link.NoComms;
  std::int32_t counter = 0;
  while (!NoComms && counter < total) {
    ++counter;
    run.feedback.SetProgress(
        static_cast<long long>(100.0 * static_cast<double>(counter) / s.NewReadings));
    run.feedback.ShowEvent(loading_text(counter, s.NewReadings));
    // A record whose clock cannot be decoded is not a reading: its slot is passed over,
    // as the bulk transfer passes over its frame, and does not hold the store back.
    skip_on_fault([&] { NoComms = !GetReading(run.line, out, s.ReadPointer); });
    if (NoComms) {
      // The slot that failed and every one after it.
      run.missing.NoteMissing(total - counter + 1);
      break;
    }
    ++s.ReadPointer;
    if (s.ReadPointer >= s.BufferSize) s.ReadPointer = 0;
  }
}

void Download(DownloadRun& run, bool legacy) {
  if (run.status.NewReadings <= 0) return;
  run.output.PrepareOutputFiles();
  if (legacy) {
    DownloadLegacy(run);
  } else if (!run.p.window.speed_hi()) {
    DownloadOneByOne(run);
  } else {
    RecordWriter out = run.writer();
    const bool whole = skip_on_fault([&] {
      const DumpResult result = DumpAll(run.line, out, run.status);
      run.link.NoComms = !result.answered;
      run.missing.NoteMissing(result.missing);
    });
    if (!whole) run.missing.NoteMissing(run.status.NewReadings);
  }
  run.output.CloseOutputFiles();
}

void ServerClock(DownloadRun& run, bool legacy) {
  if (run.link.NoComms) return;
  run.feedback.ShowEvent("Setting server date ...");
  run.link.NoComms = !(legacy ? SetLoggerDate(run.line) : v5SetLoggerDate(run.line));
  run.feedback.ShowEvent("Server date set");
}

void Clearing(DownloadRun& run, bool legacy) {
  RunLog* log = run.p.log;
  if (run.link.NoComms) {
    log_note(log, "store kept: the link to the server was lost");
    return;
  }
  // The store is emptied only when every reading of the run is safely on disk.
  const std::string& fault = run.output.OutputFault();
  if (!fault.empty()) {
    log_note(log, "store kept: cannot write " + fault);
    run.p.dialogs.message(
        "ERROR", "Cannot write " + fault + ".\r" + "The readings were left on the server.");
    return;
  }
  if (run.missing.ReadingsMissing) {
    log_note(log, "store kept: " + MissingText(run.missing, legacy));
    run.feedback.ShowEvent("Readings left on the server");
    return;
  }
  log_note(log, "store to be cleared: every reading of this run is on disk");
  run.feedback.ShowEvent("Clearing server readings ...");
  run.link.NoComms = !(legacy ? ClearReadings(run.line) : v5ClearReadings(run.line));
  log_note(log, run.link.NoComms ? "store clearing unconfirmed: the server did not answer"
                                 : "store cleared");
  // Readings that earlier runs left on the server and appended already are gone now.
  if (!run.link.NoComms) run.output.ForgetKeptLines();
  run.feedback.ShowEvent("Server readings cleared");
}

}  // namespace

std::string MissingText(const MissingReadings& s, bool legacy) {
  const std::int32_t n = s.MissingCount;
  if (n <= 0) return "readings of this run could not be fetched";
  const char* what = legacy ? (n == 1 ? "block of readings" : "blocks of readings")
                            : (n == 1 ? "reading" : "readings");
  return std::to_string(n) + " " + what + " could not be fetched";
}

std::string KeptText(const MissingReadings& s, bool legacy) {
  const std::string missing = MissingText(s, legacy) + "; ";
  const std::int32_t unreachable = s.UnreachableCount;
  if (unreachable <= 0)
    return missing + "they were left on the server and will come with the next run.";
  const std::string beyond =
      " past the last block a request can reach and cannot be fetched by any run";
  const std::int32_t others = s.MissingCount - unreachable;
  return missing +
         (others > 0 ? "the last " + std::to_string(unreachable) + " of them lie" + beyond +
                           ", the others will come with the next run."
                     : "they lie" + beyond + ".") +
         " The store was kept on the server.";
}

bool TrustedV5Status(const ServerStatus& s) {
  return s.BufferSize > 0 && s.ReadPointer >= 0 && s.ReadPointer < s.BufferSize &&
         s.WritePointer >= 0 && s.WritePointer < s.BufferSize;
}

void RunStages(DownloadRun& run, bool legacy) {
  const ServerStatus& s = run.status;
  if (!legacy && !TrustedV5Status(s)) {
    // Nothing can be fetched from a store the server describes impossibly, and what
    // it holds must not be thrown away.
    run.missing.ReadingsMissing = true;
    log_note(run.p.log, "store kept: the server reported an impossible store");
    run.p.dialogs.message(
        "ERROR", "The server reported an invalid reading store (" + std::to_string(s.BufferSize) +
                     " slots, read pointer " + std::to_string(s.ReadPointer) + ", write pointer " +
                     std::to_string(s.WritePointer) + ").\r" +
                     "No readings were fetched and the readings were left on the server.");
    ServerClock(run, legacy);
    if (!run.link.NoComms) run.feedback.ShowEvent("Readings left on the server");
    return;
  }
  ReadingCount(run, legacy);
  Download(run, legacy);
  ServerClock(run, legacy);
  Clearing(run, legacy);
}

}  // namespace tavric
