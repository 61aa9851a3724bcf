#include "app/dialog_text.h"

namespace tavric {

std::string one_line(const std::string& text) {
  // A run of breaks (a modem reply is framed by CR LF pairs) becomes one separator;
  // breaks at either end are dropped.
  std::string out;
  out.reserve(text.size());
  bool pending_break = false;
  for (const char c : text) {
    if (c == '\r' || c == '\n') {
      pending_break = !out.empty();
      continue;
    }
    if (pending_break) out += " | ";
    pending_break = false;
    out += c;
  }
  return out;
}

std::string shown_answer(const std::string& title, const std::string& answer) {
  if (title == kPromptPinCode && !answer.empty())
    return "\"" + std::string(answer.size(), '*') + "\"";
  return "\"" + answer + "\"";
}

}  // namespace tavric
