#include "app/form.h"

namespace tavric {

void Form_Load(Window& window, SettingsStore& settings) {
  // Only "1" selects "Hi"; a value the program never writes selects the safe "Lo".
  window.set_speed_hi(settings.get("Speed", "0") == "1");
}

const char* SpeedSetting(const Window& window) {
  return window.speed_hi() ? "1" : "0";
}

void Form_Unload(DownloadRun& run) {
  run.p.settings.set("Speed", SpeedSetting(run.p.window));
  run.p.port.close();
  // Files written so far are closed intact: every finished line is on disk.
  run.output.CloseUnsynced();
}

}  // namespace tavric
