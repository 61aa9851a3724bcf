#include "session/feedback.h"

namespace tavric {

void Feedback::ShowEvent(const std::string& a) {
  window_.set_event_text(a);
  window_.yield();
}

void Feedback::SetLed(int Index, std::string_view Clr) {
  if (Index != 0 && Index != 1) return;
  if (Clr == "N") {
    window_.show_led(Index, LedColour::Off);
  } else if (Clr == "G") {
    window_.show_led(Index, LedColour::Green);
  } else if (Clr == "R") {
    window_.show_led(Index, LedColour::Red);
  }
}

void Feedback::SetProgress(long long percent) {
  if (percent < 0 || percent > 100) return;
  window_.set_progress(static_cast<int>(percent));
}

void Feedback::NextDumpImg() {
  DumpImgIndex_ = static_cast<std::int16_t>(DumpImgIndex_ % 10 + 1);
  window_.show_dump_frame(DumpImgIndex_);
}

}  // namespace tavric
