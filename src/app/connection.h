#pragma once

#include "app/download_run.h"

namespace tavric {

// Opens the port and finds the server, directly or through a cell modem, asking the
// user for another port for as long as none answers. Gives whether the server speaks
// the legacy protocol; its status is then in `run.status`. Ends the program
// (ProgramEnd) when the user names no port or the modem dialogue fails.
bool ConnectionLoop(DownloadRun& run);

}  // namespace tavric
