#pragma once

namespace tavric {

// Exit statuses of the program, one per way a launch can end.
enum ExitStatus : int {
  kExitCompleted = 0,     // the run kept its link to its end
  kExitNoComms = 1,       // no server found, or the link was lost
  kExitOutputFailed = 2,  // an output file failed; the store was kept
  kExitModemFailed = 3,   // PIN, dial or the server through the call failed
  kExitUsage = 64,        // bad command line
  kExitClosed = 130,      // the user closed the window
};

}  // namespace tavric
