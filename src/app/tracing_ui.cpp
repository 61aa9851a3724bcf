#include "app/tracing_ui.h"

#include "app/dialog_text.h"
#include "link/modem_text.h"

namespace tavric {

void TracingWindow::set_event_text(const std::string& text) {
  log_.note("event: " + text);
  window_.set_event_text(text);
}

void TracingWindow::set_speed_hi(bool hi) {
  log_.note(std::string("speed option ") + (hi ? "Hi" : "Lo"));
  window_.set_speed_hi(hi);
}

void TracingDialogs::message(const std::string& title, const std::string& text) {
  // A message may quote what the modem said: its PIN never shows, nor its raw control
  // bytes, in the trace, the window or on standard error.
  const std::string shown = modem_text_for_message(text);
  log_.note("message \"" + title + "\": " + shown);
  log_.flush();
  dialogs_.message(title, shown);
}

std::string TracingDialogs::prompt(const std::string& title, const std::string& text,
                                   const std::string& default_text) {
  // Noted before and after, so the trace shows how long the prompt was open.
  log_.note("prompt \"" + title + "\": " + text + " [default \"" + default_text + "\"]");
  log_.flush();
  std::string answer = dialogs_.prompt(title, text, default_text);
  log_.note("answer to \"" + title + "\": " + shown_answer(title, answer));
  return answer;
}

}  // namespace tavric
