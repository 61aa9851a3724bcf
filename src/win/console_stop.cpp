#include "win/console_stop.h"

#include "session/exit_status.h"
#include "win/main_window.h"

namespace tavric::win {
namespace {

HWND g_window = nullptr;
HANDLE g_finished = nullptr;
// The system ends the process five seconds after a close, logoff or shutdown event
// reached it; the run winds up within that.
constexpr DWORD kHoldMs = 4500;

BOOL WINAPI on_console_event(DWORD type) {
  ::PostMessageW(g_window, MainWindow::kStopMessage,
                 static_cast<WPARAM>(ConsoleStop::exit_status(type)), static_cast<LPARAM>(type));
  if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
    ::WaitForSingleObject(g_finished, kHoldMs);
  }
  return TRUE;
}

}  // namespace

ConsoleStop::ConsoleStop(HWND window) {
  g_window = window;
  g_finished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ::SetConsoleCtrlHandler(on_console_event, TRUE);
}

ConsoleStop::~ConsoleStop() {
  ::SetConsoleCtrlHandler(on_console_event, FALSE);
  finished();
}

void ConsoleStop::finished() {
  if (g_finished) ::SetEvent(g_finished);
}

int ConsoleStop::exit_status(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      return kExitClosed;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
      return kExitHangUp;
    default:
      return kExitTerminated;
  }
}

}  // namespace tavric::win
