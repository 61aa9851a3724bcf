#pragma once

#include <optional>
#include <ostream>

#include "app/download_run.h"

namespace tavric {

// The status check, started by the first tick of the window's timer in place of a
// download run: finds the server as a run does (directly or through the cell modem,
// with the same prompts), writes what it holds to `out` and to the run's log, hangs up
// and ends. Nothing is fetched, no clock set, nothing cleared and no output file
// touched. Returns the exit status (0 when the server answered), or nothing when the
// check is already in progress.
std::optional<int> StatusCheck(DownloadRun& run, std::ostream& out);

}  // namespace tavric
