#pragma once

#include "session/session.h"

namespace tavric {

// Window load: selects the speed option saved as "Speed" ("1" is "Hi"; anything
// else selects "Lo").
void Form_Load(Session& s);

// Window unload, at any moment (also in the middle of a run): saves the speed
// option, closes the port and every open file, ignoring every error. Ending the
// program is the caller's.
void Form_Unload(Session& s);

// The "Speed" setting text of the selected option.
const char* SpeedSetting(const Session& s);

}  // namespace tavric
