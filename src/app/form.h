#pragma once

#include "app/download_run.h"
#include "platform/settings_store.h"
#include "platform/window.h"

namespace tavric {

// Window load: selects the speed option saved as "Speed" ("1" is "Hi"; anything
// else selects "Lo").
void Form_Load(Window& window, SettingsStore& settings);

// Window unload, at any moment (also in the middle of a run): saves the speed
// option, closes the port and every open file, ignoring every error. Ending the
// program is the caller's.
void Form_Unload(DownloadRun& run);

// The "Speed" setting text of the selected option.
const char* SpeedSetting(const Window& window);

}  // namespace tavric
