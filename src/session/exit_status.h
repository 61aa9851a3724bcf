#pragma once

namespace tavric {

// Exit statuses of the program, one per way a launch can end.
enum ExitStatus : int {
  kExitCompleted = 0,     // the run kept its link to its end
  kExitNoComms = 1,       // no server found, or the link was lost
  kExitOutputFailed = 2,  // an output file failed; the store was kept
  kExitModemFailed = 3,   // PIN, dial or the server through the call failed
  kExitReadingsKept = 4,  // the link held, but readings of the run could not be fetched
  kExitFolderBusy = 5,    // another run kept the output folder; nothing was done
  kExitPinRefused = 6,    // the SIM refused this PIN before, or asks for its PUK: not sent
  kExitUsage = 64,        // bad command line
  kExitNoDisplay = 69,    // no display for the window, and not unattended; nothing was done
  kExitHangUp = 129,      // SIGHUP, a logoff: ended like a closed window
  kExitClosed = 130,      // the user closed the window, or SIGINT (Ctrl+C)
  kExitTerminated = 143,  // SIGTERM, a shutdown: ended like a closed window
};

inline constexpr int kExitStatuses[] = {kExitCompleted,   kExitNoComms,      kExitOutputFailed,
                                        kExitModemFailed, kExitReadingsKept, kExitFolderBusy,
                                        kExitPinRefused,  kExitUsage,        kExitNoDisplay,
                                        kExitHangUp,      kExitClosed,       kExitTerminated};

}  // namespace tavric
