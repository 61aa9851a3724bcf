#include "session/feedback.h"

namespace tavric {

void ShowEvent(Session& s, const std::string& a) {
  s.p.window.set_event_text(a);
  s.p.window.yield();
}

void SetLed(Session& s, int Index, std::string_view Clr) {
  if (Index != 0 && Index != 1) return;
  if (Clr == "N") {
    s.p.window.show_led(Index, LedColour::Off);
  } else if (Clr == "G") {
    s.p.window.show_led(Index, LedColour::Green);
  } else if (Clr == "R") {
    s.p.window.show_led(Index, LedColour::Red);
  }
}

void SetProgress(Session& s, long long percent) {
  if (percent < 0 || percent > 100) return;
  s.p.window.set_progress(static_cast<int>(percent));
}

void NextDumpImg(Session& s) {
  s.DumpImgIndex = static_cast<std::int16_t>(s.DumpImgIndex % 10 + 1);
  s.p.window.show_dump_frame(s.DumpImgIndex);
}

}  // namespace tavric
