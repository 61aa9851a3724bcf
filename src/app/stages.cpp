#include "app/stages.h"

#include <algorithm>
#include <string>

#include "link/line_speed.h"
#include "platform/number_rule.h"
#include "platform/run_control.h"
#include "protocol/requests.h"
#include "readings/bulk_download.h"
#include "readings/fetch.h"
#include "readings/kept_lines.h"
#include "readings/output_files.h"
#include "session/feedback.h"

namespace tavric {
namespace {

// The highest block counter a legacy data-block request can carry.
constexpr std::int32_t kMaxLegacyBlocks = 32704;

void ReadingCount(Session& s, bool legacy) {
  if (s.NewReadings != 0) return;
  s.NewReadings = prompt_count32(s.p.dialogs.prompt(
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
void note_blocks_missing(Session& s, std::int32_t first, std::int32_t last) {
  const auto block = [](std::int32_t i) { return std::to_string(i + 63); };
  log_note(s.p.log, first == last ? "block " + std::to_string(first) + " (block number " +
                                        block(first) + ") not fetched"
                                  : "blocks " + std::to_string(first) + " to " +
                                        std::to_string(last) + " (block numbers " + block(first) +
                                        " to " + block(last) + ") not fetched");
}

// No block past the last counter a request can carry can be fetched, by this run or
// any other: they count as missing, so that the store they are in is kept.
void LimitLegacyBlocks(Session& s) {
  if (s.NewReadings <= kMaxLegacyBlocks) return;
  const std::int32_t beyond = s.NewReadings - kMaxLegacyBlocks;
  NoteMissing(s, beyond);
  s.UnreachableCount = beyond;
  log_note(s.p.log, std::to_string(beyond) +
                        " blocks lie past the last block that can be asked for and cannot be "
                        "fetched");
  s.NewReadings = kMaxLegacyBlocks;
}

void DownloadLegacy(Session& s) {
  LimitLegacyBlocks(s);
  SetBaudrate(s, 1);
  std::int32_t missing_from = 0;  // the first of a run of blocks not fetched
  for (std::int32_t i = 1; i <= s.NewReadings; ++i) {
    NextDumpImg(s);
    SetProgress(s, static_cast<long long>(100.0 * i / s.NewReadings));
    s.p.window.yield();
    ShowEvent(s, loading_text(i, s.NewReadings));
    const bool fetched = !s.NoComms && skip_on_fault([&] { GetData(s, i); }) && !s.NoComms;
    if (!fetched) {
      NoteMissing(s, 1);
      if (missing_from == 0) missing_from = i;
    } else if (missing_from != 0) {
      note_blocks_missing(s, missing_from, i - 1);
      missing_from = 0;
    }
    if (i == INT32_MAX) break;
  }
  if (missing_from != 0) note_blocks_missing(s, missing_from, s.NewReadings);
  SetBaudrate(s, 0);
}

// Fetches every reading the status told of, slot by slot from the read pointer: up to
// the write pointer, and on past it when the count says more are new (a full store,
// where the two pointers meet).
void DownloadOneByOne(Session& s) {
  const std::int32_t total = StreamLength(s);
  std::int32_t counter = 0;
  while (!s.NoComms && counter < total) {
    ++counter;
    SetProgress(s, static_cast<long long>(100.0 * static_cast<double>(counter) / s.NewReadings));
    ShowEvent(s, loading_text(counter, s.NewReadings));
    // A record whose clock cannot be decoded is not a reading: its slot is passed over,
    // as the bulk transfer passes over its frame, and does not hold the store back.
    skip_on_fault([&] { GetReading(s, s.ReadPointer); });
    if (s.NoComms) {
      // The slot that failed and every one after it.
      NoteMissing(s, total - counter + 1);
      break;
    }
    ++s.ReadPointer;
    if (s.ReadPointer >= s.BufferSize) s.ReadPointer = 0;
  }
}

void Download(Session& s, bool legacy) {
  if (s.NewReadings <= 0) return;
  PrepareOutputFiles(s);
  if (legacy) {
    DownloadLegacy(s);
  } else if (!s.p.window.speed_hi()) {
    DownloadOneByOne(s);
  } else {
    // DumpAll counts the readings it could not bring itself.
    if (!skip_on_fault([&] { DumpAll(s); })) NoteMissing(s, s.NewReadings);
  }
  CloseOutputFiles(s);
}

void ServerClock(Session& s, bool legacy) {
  if (s.NoComms) return;
  ShowEvent(s, "Setting server date ...");
  if (legacy) {
    SetLoggerDate(s);
  } else {
    v5SetLoggerDate(s);
  }
  ShowEvent(s, "Server date set");
}

void Clearing(Session& s, bool legacy) {
  if (s.NoComms) {
    log_note(s.p.log, "store kept: the link to the server was lost");
    return;
  }
  // The store is emptied only when every reading of the run is safely on disk.
  if (!s.OutputFault.empty()) {
    log_note(s.p.log, "store kept: cannot write " + s.OutputFault);
    s.p.dialogs.message(
        "ERROR", "Cannot write " + s.OutputFault + ".\r" + "The readings were left on the server.");
    return;
  }
  if (s.ReadingsMissing) {
    log_note(s.p.log, "store kept: " + MissingText(s, legacy));
    ShowEvent(s, "Readings left on the server");
    return;
  }
  log_note(s.p.log, "store to be cleared: every reading of this run is on disk");
  ShowEvent(s, "Clearing server readings ...");
  if (legacy) {
    ClearReadings(s);
  } else {
    v5ClearReadings(s);
  }
  log_note(s.p.log,
           s.NoComms ? "store clearing unconfirmed: the server did not answer" : "store cleared");
  // Readings that earlier runs left on the server and appended already are gone now.
  if (!s.NoComms) ForgetKeptLines(s);
  ShowEvent(s, "Server readings cleared");
}

}  // namespace

std::string MissingText(const Session& s, bool legacy) {
  const std::int32_t n = s.MissingCount;
  if (n <= 0) return "readings of this run could not be fetched";
  const char* what = legacy ? (n == 1 ? "block of readings" : "blocks of readings")
                            : (n == 1 ? "reading" : "readings");
  return std::to_string(n) + " " + what + " could not be fetched";
}

std::string KeptText(const Session& s, bool legacy) {
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

bool TrustedV5Status(const Session& s) {
  return s.BufferSize > 0 && s.ReadPointer >= 0 && s.ReadPointer < s.BufferSize &&
         s.WritePointer >= 0 && s.WritePointer < s.BufferSize;
}

void RunStages(Session& s, bool legacy) {
  if (!legacy && !TrustedV5Status(s)) {
    // Nothing can be fetched from a store the server describes impossibly, and what
    // it holds must not be thrown away.
    s.ReadingsMissing = true;
    log_note(s.p.log, "store kept: the server reported an impossible store");
    s.p.dialogs.message(
        "ERROR", "The server reported an invalid reading store (" + std::to_string(s.BufferSize) +
                     " slots, read pointer " + std::to_string(s.ReadPointer) + ", write pointer " +
                     std::to_string(s.WritePointer) + ").\r" +
                     "No readings were fetched and the readings were left on the server.");
    ServerClock(s, legacy);
    if (!s.NoComms) ShowEvent(s, "Readings left on the server");
    return;
  }
  ReadingCount(s, legacy);
  Download(s, legacy);
  ServerClock(s, legacy);
  Clearing(s, legacy);
}

}  // namespace tavric
