#pragma once

#include <string>

#include "platform/clock.h"

namespace tavric {

enum class LedColour { Off, Green, Red };

// The main window as the download run sees it: its indicators, the speed option,
// and the pending-events yield. Every indicator change is painted at once.
class Window {
 public:
  virtual ~Window() = default;
  virtual void set_event_text(const std::string& text) = 0;
  virtual void show_led(int index, LedColour colour) = 0;
  virtual void show_dump_frame(int frame) = 0;  // 1..10
  virtual void set_progress(int percent) = 0;   // 0..100
  virtual bool speed_hi() const = 0;            // "Hi" selected
  virtual void set_speed_hi(bool hi) = 0;
  virtual void stop_timer() = 0;
  // Lets the window handle its pending events. Throws WindowClosed once the user
  // has closed the window.
  virtual void yield() = 0;
  // Throws WindowClosed if the window has been closed.
  virtual void check_open() = 0;
  // Sleeps until `deadline` (monotonic) while the window handles its events. Throws
  // WindowClosed once the user has closed the window.
  virtual void sleep_until(MonoTime deadline) = 0;
};

}  // namespace tavric
