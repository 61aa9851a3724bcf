#include "app/form.h"

namespace tavric {

void Form_Load(Session& s) {
  // Only "1" selects "Hi"; a value the program never writes selects the safe "Lo".
  s.p.window.set_speed_hi(s.p.settings.get("Speed", "0") == "1");
}

const char* SpeedSetting(const Session& s) {
  return s.p.window.speed_hi() ? "1" : "0";
}

void Form_Unload(Session& s) {
  s.p.settings.set("Speed", SpeedSetting(s));
  s.p.port.close();
  // Files written so far are closed intact: every finished line is on disk.
  if (s.DumpFile) s.DumpFile->close();
  if (s.ProbeFile) s.ProbeFile->close();
  s.DumpFile.reset();
  s.ProbeFile.reset();
  s.FolderLock.reset();
}

}  // namespace tavric
