#pragma once

#include <optional>

#include "app/download_run.h"

namespace tavric {

// The download run, started by the first tick of the window's timer: finds the
// server, carries out the stages and winds up. Returns the program's exit status,
// or nothing when a run is already in progress.
std::optional<int> tmr_Timer(DownloadRun& run);

}  // namespace tavric
