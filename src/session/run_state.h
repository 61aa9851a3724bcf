#pragma once

#include <algorithm>
#include <cstdint>

namespace tavric {

// What the run decides about its link to the server.
struct LinkState {
  // The run's verdict on the link: the exchange it last relied on failed, or none has
  // answered yet.
  bool NoComms = true;
  // The legacy line speed was raised for this download: the closing speed change must
  // bring it down again, whatever the speed option shows by then.
  bool SpeedRaised = false;
};

// The readings of the run that were not written (a fetch failed or was skipped, a bulk
// frame is missing): while there are any, the server's store is kept.
struct MissingReadings {
  bool ReadingsMissing = false;
  // How many readings (v5) or data blocks (legacy) that is, where it is known.
  std::int32_t MissingCount = 0;
  // Of those, the legacy blocks past the last one a request can name: no run can fetch
  // them.
  std::int32_t UnreachableCount = 0;

  // Records that `count` readings (or data blocks) were not written.
  void NoteMissing(std::int64_t count) {
    if (count <= 0) return;
    ReadingsMissing = true;
    const std::int64_t total = std::int64_t{MissingCount} + count;
    MissingCount = static_cast<std::int32_t>(std::min<std::int64_t>(total, INT32_MAX));
  }
};

}  // namespace tavric
