#include "app/connection.h"

#include <string>

#include "link/line_speed.h"
#include "link/modem.h"
#include "link/open_port.h"
#include "platform/number_rule.h"
#include "platform/run_control.h"
#include "protocol/status.h"
#include "session/exit_status.h"

namespace tavric {
namespace {

constexpr const char* kNoCommsPrompt =
    "Cannot connect to server, no comms.\r"
    "Make sure the server is plugged in and is switched on. Also make sure that the correct "
    "serial port number is specified.";

// The legacy status request: on an answer the status holds the server's clock and
// its count of new data blocks, without one they are cleared.
bool take_legacy_status(DownloadRun& run) {
  const std::optional<ServerStatus> status = GetStatus(run.line);
  const ServerStatus none;
  run.status.NewReadings = (status ? *status : none).NewReadings;
  run.status.LoggerDate = (status ? *status : none).LoggerDate;
  run.status.LoggerClockOffset = (status ? *status : none).LoggerClockOffset;
  run.link.NoComms = !status;
  return status.has_value();
}

// A v5 status, from the status request or through a modem call.
bool take_v5_status(DownloadRun& run, const std::optional<ServerStatus>& status) {
  if (status) run.status = *status;
  run.link.NoComms = !status;
  return status.has_value();
}

}  // namespace

bool ConnectionLoop(DownloadRun& run) {
  Platform& p = run.p;
  bool legacy = false;
  while (run.link.NoComms) {
    run.feedback.yield();
    run.feedback.NextDumpImg();
    OpenPort(p.port, run.feedback, p.dialogs, p.settings, run.PortNumber);
    if (take_legacy_status(run)) {
      legacy = true;
      break;
    }
    if (take_v5_status(run, v5GetStatus(run.line, run.status.LoggerClockOffset))) break;
    // A run through a modem puts on the line the two status requests at 9600 and then
    // the modem dialogue, nothing else. Only when no modem answers either is a legacy
    // server looked for where a download cut short may have left it.
    if (const auto status = run.modem.ConnectThroughModem(run.status.LoggerClockOffset)) {
      take_v5_status(run, status);
      break;
    }
    if (RecoverStrandedServer(run.line) && take_legacy_status(run)) {
      legacy = true;
      break;
    }
    run.link.NoComms = true;
    run.PortNumber = prompt_number16(
        p.dialogs.prompt("No Comms", kNoCommsPrompt, std::to_string(run.PortNumber)));
    if (run.PortNumber == 0) throw ProgramEnd{kExitNoComms};
    p.settings.set("Port", std::to_string(run.PortNumber));
  }
  return legacy;
}

}  // namespace tavric
