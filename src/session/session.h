#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/calendar.h"
#include "platform/file_system.h"
#include "platform/platform.h"

namespace tavric {

// The state the main window holds for the whole launch, shared by every routine of
// the download run. Positions in the frame buffers count from 1 (the start byte).
struct Session {
  explicit Session(Platform& platform) : p(platform) {}

  Platform& p;

  bool Busy = false;
  bool NoComms = false;
  std::int16_t PortNumber = 0;

  std::array<std::int16_t, 1001> TxBuffer{};
  std::int16_t TxLength = 0;
  std::array<std::int16_t, 1001> RxBuffer{};
  std::int16_t RxLength = 0;

  std::int32_t ReadPointer = 0;
  std::int32_t WritePointer = 0;
  std::int32_t BufferSize = 0;
  std::int32_t NewReadings = 0;
  LocalDateTime LoggerDate = zero_date_time();
  float LoggerClockOffset = 0.0F;

  // The output folder's lock, held from before the port is opened to the end of the run.
  std::unique_ptr<FileLock> FolderLock;
  // The two output files while the download stage has them open.
  std::unique_ptr<TextFile> DumpFile;   // file 1
  std::unique_ptr<TextFile> ProbeFile;  // file 2
  // The first failure of the output folder or files in this run ("<file>: <reason>");
  // empty while every file step has worked. A run with a failure keeps the store.
  std::string OutputFault;
  // Probe data lines that runs which kept the server's store appended already: each is
  // skipped once when its reading comes again. And where this run's appending began.
  std::unordered_multiset<std::string> KeptLines;
  std::optional<std::uintmax_t> ProbeAppendStart;
  // A reading of the run was not written (a fetch failed or was skipped, a bulk
  // frame is missing): the store must be kept. MissingCount says how many readings
  // (v5) or data blocks (legacy) that is, where it is known.
  bool ReadingsMissing = false;
  std::int32_t MissingCount = 0;
  // Of those, the legacy blocks past the last one a request can name: no run can
  // fetch them.
  std::int32_t UnreachableCount = 0;
  // The legacy line speed was raised for this download: the closing speed change
  // must bring it down again, whatever the speed option shows by then.
  bool SpeedRaised = false;

  std::array<std::int32_t, 101> LowVoltProbe{};
  std::array<float, 101> LowVolts{};
  std::int16_t LowVoltCount = 0;

  std::string ModemReply;
  std::string ModemExpect;
  std::int16_t ModemConnected = 0;

  std::int16_t DumpImgIndex = 0;

  // The program's state folder, where a SIM's refused PINs are remembered; empty: the
  // output folder.
  std::filesystem::path StateDir;

  // What the run did, in a line or two, once it has ended: for the trace and the
  // standard output of a scheduled run.
  std::vector<std::string> RunSummary;
};

// Records that `count` readings (or data blocks) of the run were not written: the store
// is then kept.
inline void NoteMissing(Session& s, std::int64_t count) {
  if (count <= 0) return;
  s.ReadingsMissing = true;
  const std::int64_t total = std::int64_t{s.MissingCount} + count;
  s.MissingCount = static_cast<std::int32_t>(std::min<std::int64_t>(total, INT32_MAX));
}

}  // namespace tavric
