#include "app/status_check.h"

#include <cmath>
#include <string>
#include <vector>

#include "app/connection.h"
#include "link/modem.h"
#include "platform/calendar.h"
#include "platform/run_control.h"
#include "session/exit_status.h"

namespace tavric {
namespace {

// "20 s", "3 min 5 s", "2 d 4 h": an offset in its two largest units.
std::string duration_text(std::int64_t seconds) {
  const std::int64_t units[] = {86400, 3600, 60, 1};
  const char* names[] = {"d", "h", "min", "s"};
  std::string text;
  int shown = 0;
  for (int i = 0; i < 4; ++i) {
    const std::int64_t n = seconds / units[i];
    seconds %= units[i];
    if (n == 0 || shown == 2) continue;
    text += (text.empty() ? "" : " ") + std::to_string(n) + " " + names[i];
    ++shown;
  }
  return text;
}

std::string clock_text(const ServerStatus& s) {
  // A v5 server whose clock is not valid leaves the date at the start of its count.
  if (s.LoggerDate == LocalDateTime{}) return "not set";
  const std::int64_t offset = std::llround(static_cast<double>(s.LoggerClockOffset) * 86400.0);
  const std::string when = format_date(s.LoggerDate) + " " + format_time(s.LoggerDate);
  if (offset == 0) return when + ", the same as this computer's";
  return when + ", " + duration_text(offset > 0 ? offset : -offset) +
         (offset > 0 ? " behind" : " ahead of") + " this computer's clock";
}

std::vector<std::string> status_lines(DownloadRun& run, bool legacy) {
  const ServerStatus& s = run.status;
  std::vector<std::string> lines;
  std::string where = "on com" + std::to_string(run.PortNumber);
  if (run.modem.connected()) {
    where += ", through the cell modem calling " + run.p.settings.get("Cell", "");
  }
  lines.push_back(std::string("server: ") + (legacy ? "legacy" : "v5") + ", " + where);
  if (legacy) {
    lines.push_back("new data: " + std::to_string(s.NewReadings) +
                    " blocks of four readings waiting");
  } else {
    lines.push_back("readings waiting: " + std::to_string(s.NewReadings));
    lines.push_back("store: " + std::to_string(s.BufferSize) + " slots, read pointer " +
                    std::to_string(s.ReadPointer) + ", write pointer " +
                    std::to_string(s.WritePointer));
  }
  lines.push_back("server clock: " + clock_text(s));
  lines.push_back("line speed: " + run.p.port.settings());
  return lines;
}

}  // namespace

std::optional<int> StatusCheck(DownloadRun& run, std::ostream& out) {
  Platform& p = run.p;
  if (run.Busy) return std::nullopt;
  run.Busy = true;
  p.window.stop_timer();
  run.link.NoComms = true;
  try {
    const bool legacy = ConnectionLoop(run);
    for (const std::string& line : status_lines(run, legacy)) {
      out << line << "\n";
      if (p.log) p.log->note("status check: " + line);
    }
    out.flush();
    if (run.modem.connected()) run.modem.ModemDisconnect();
    p.port.close();
    return kExitCompleted;
  } catch (const ProgramEnd& end) {
    p.port.close();
    return end.status;
  } catch (const WindowClosed&) {
    return kExitClosed;
  }
}

}  // namespace tavric
