#pragma once

#include <string>
#include <string_view>

#include "session/session.h"

namespace tavric {

// Shows `a` on the event line, then lets the window handle its pending events.
void ShowEvent(Session& s, const std::string& a);

// Lamp `Index` (0 send, 1 receive) shows "N" off, "G" green or "R" red; any other
// letter leaves the lamp as it is.
void SetLed(Session& s, int Index, std::string_view Clr);

// Sets the progress bar to `percent`; a value outside 0..100 is not accepted and the
// bar keeps its last value.
void SetProgress(Session& s, long long percent);

// Shows the next of the ten animation frames (1..10, then 1 again).
void NextDumpImg(Session& s);

}  // namespace tavric
