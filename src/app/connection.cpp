#include "app/connection.h"

#include <string>

#include "link/line_speed.h"
#include "link/modem.h"
#include "link/open_port.h"
#include "platform/number_rule.h"
#include "platform/run_control.h"
#include "protocol/status.h"
#include "session/exit_status.h"
#include "session/feedback.h"

namespace tavric {
namespace {

constexpr const char* kNoCommsPrompt =
    "Cannot connect to server, no comms.\r"
    "Make sure the server is plugged in and is switched on. Also make sure that the correct "
    "serial port number is specified.";

}  // namespace

bool ConnectionLoop(Session& s) {
  bool legacy = false;
  while (s.NoComms) {
    s.p.window.yield();
    NextDumpImg(s);
    OpenPort(s);
    GetStatus(s);
    if (s.NoComms) {
      v5GetStatus(s);
    } else {
      legacy = true;
    }
    if (!s.NoComms) break;
    // A run through a modem puts on the line the two status requests at 9600 and then
    // the modem dialogue, nothing else. Only when no modem answers either is a legacy
    // server looked for where a download cut short may have left it.
    if (ConnectThroughModem(s)) break;
    if (RecoverStrandedServer(s)) {
      GetStatus(s);
      legacy = !s.NoComms;
      if (!s.NoComms) break;
    }
    s.PortNumber = prompt_number16(
        s.p.dialogs.prompt("No Comms", kNoCommsPrompt, std::to_string(s.PortNumber)));
    if (s.PortNumber == 0) throw ProgramEnd{kExitNoComms};
    s.p.settings.set("Port", std::to_string(s.PortNumber));
  }
  return legacy;
}

}  // namespace tavric
