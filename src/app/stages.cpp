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
  s.NewReadings = prompt_number32(s.p.dialogs.prompt(
      "No Readings",
      "There are no new readings on the server. Specify the number of readings you want to "
      "reload.",
      ""));
  if (legacy) {
    // No block past this counter can be asked for: counting further fetches nothing.
    s.NewReadings = std::min(s.NewReadings, kMaxLegacyBlocks);
    return;
  }
  // Start that many slots back from the write position, wrapping round the store.
  const std::int64_t size = s.BufferSize;
  const std::int64_t start = static_cast<std::int64_t>(s.WritePointer) - s.NewReadings;
  s.ReadPointer = static_cast<std::int32_t>(start < 0 ? (start % size + size) % size : start);
  if (s.NewReadings >= size) {
    // A store holds no more than its slots: the fetch covers the slots from the new read
    // position up to the write position, and the bulk transfer must expect just those.
    s.NewReadings =
        static_cast<std::int32_t>(((s.WritePointer - s.ReadPointer) % size + size) % size);
  }
}

std::string loading_text(long long count, long long total) {
  return "Loading reading " + std::to_string(count) + "/" + std::to_string(total);
}

void DownloadLegacy(Session& s) {
  SetBaudrate(s, 1);
  for (std::int32_t i = 1; i <= s.NewReadings; ++i) {
    NextDumpImg(s);
    SetProgress(s, static_cast<long long>(100.0 * i / s.NewReadings));
    s.p.window.yield();
    ShowEvent(s, loading_text(i, s.NewReadings));
    if (!s.NoComms) {
      if (!skip_on_fault([&] { GetData(s, i); })) s.ReadingsMissing = true;
      if (s.NoComms) s.ReadingsMissing = true;
    } else {
      s.ReadingsMissing = true;
    }
    if (i == INT32_MAX) break;
  }
  SetBaudrate(s, 0);
}

void DownloadOneByOne(Session& s) {
  long long counter = 0;
  while (!s.NoComms && s.ReadPointer != s.WritePointer) {
    ++counter;
    SetProgress(s, static_cast<long long>(100.0 * static_cast<double>(counter) / s.NewReadings));
    ShowEvent(s, loading_text(counter, s.NewReadings));
    // A record whose clock cannot be decoded is not a reading: its slot is passed over,
    // as the bulk transfer passes over its frame, and does not hold the store back.
    skip_on_fault([&] { GetReading(s, s.ReadPointer); });
    ++s.ReadPointer;
    if (s.ReadPointer >= s.BufferSize) s.ReadPointer = 0;
  }
  if (s.NoComms) s.ReadingsMissing = true;
}

void Download(Session& s, bool legacy) {
  if (s.NewReadings <= 0) return;
  PrepareOutputFiles(s);
  if (legacy) {
    DownloadLegacy(s);
  } else if (!s.p.window.speed_hi()) {
    DownloadOneByOne(s);
  } else {
    if (!skip_on_fault([&] { DumpAll(s); })) s.ReadingsMissing = true;
    if (s.NoComms) s.ReadingsMissing = true;
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
    log_note(s.p.log, "store kept: a reading of this run was not written");
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
    return;
  }
  ReadingCount(s, legacy);
  Download(s, legacy);
  ServerClock(s, legacy);
  Clearing(s, legacy);
}

}  // namespace tavric
