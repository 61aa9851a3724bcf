#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/window.h"

namespace tavric {

// What the run shows in the window while it works: the event line, the two lamps, the
// progress bar and the animation, whose frame it keeps.
class Feedback {
 public:
  explicit Feedback(Window& window) : window_(window) {}

  // Shows `a` on the event line, then lets the window handle its pending events.
  void ShowEvent(const std::string& a);

  // Lamp `Index` (0 send, 1 receive) shows "N" off, "G" green or "R" red; any other
  // letter leaves the lamp as it is.
  void SetLed(int Index, std::string_view Clr);

  // Sets the progress bar to `percent`; a value outside 0..100 is not accepted and the
  // bar keeps its last value.
  void SetProgress(long long percent);

  // Shows the next of the ten animation frames (1..10, then 1 again).
  void NextDumpImg();

  // Lets the window handle its pending events (throws WindowClosed once it is closed).
  void yield() { window_.yield(); }

 private:
  Window& window_;
  std::int16_t DumpImgIndex_ = 0;
};

}  // namespace tavric
