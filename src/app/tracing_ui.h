#pragma once

#include "platform/dialogs.h"
#include "platform/run_log.h"
#include "platform/window.h"

namespace tavric {

// The main window, with every event-line text and speed choice noted in a log.
class TracingWindow : public Window {
 public:
  TracingWindow(Window& window, RunLog& log) : window_(window), log_(log) {}

  void set_event_text(const std::string& text) override;
  void show_led(int index, LedColour colour) override { window_.show_led(index, colour); }
  void show_dump_frame(int frame) override { window_.show_dump_frame(frame); }
  void set_progress(int percent) override { window_.set_progress(percent); }
  bool speed_hi() const override { return window_.speed_hi(); }
  void set_speed_hi(bool hi) override;
  void stop_timer() override { window_.stop_timer(); }
  void yield() override { window_.yield(); }
  void check_open() override { window_.check_open(); }
  void sleep_until(MonoTime deadline) override { window_.sleep_until(deadline); }

 private:
  Window& window_;
  RunLog& log_;
};

// The message boxes and prompts, each noted with its title and text, and each prompt
// again with the answer it got (a PIN hidden).
class TracingDialogs : public Dialogs {
 public:
  TracingDialogs(Dialogs& dialogs, RunLog& log) : dialogs_(dialogs), log_(log) {}

  void message(const std::string& title, const std::string& text) override;
  std::string prompt(const std::string& title, const std::string& text,
                     const std::string& default_text) override;

 private:
  Dialogs& dialogs_;
  RunLog& log_;
};

}  // namespace tavric
