#pragma once

#include <windows.h>

namespace tavric::win {

// The console's Ctrl+C and Ctrl+Break, and its window closing, turned into a stop
// request posted to the main window (MainWindow::kStopMessage), which ends the run as
// if the window was closed instead of dying mid-exchange. For the events after which the
// system ends the process (console closed, logoff, shutdown), the handler holds the
// process until the run has wound up (`finished`), for as long as the system allows.
class ConsoleStop {
 public:
  explicit ConsoleStop(HWND window);  // catches the events from now on
  ~ConsoleStop();
  ConsoleStop(const ConsoleStop&) = delete;
  ConsoleStop& operator=(const ConsoleStop&) = delete;

  // The run has wound up: a held event handler may let the process end.
  void finished();

  // The exit status for console event `type`, as the POSIX program gives for the
  // signal that means the same: Ctrl+C and Ctrl+Break as SIGINT (130), the console
  // closed or a logoff as SIGHUP (129), a shutdown as SIGTERM (143).
  static int exit_status(DWORD type);
};

}  // namespace tavric::win
