#include "app/dialog_text.h"

namespace tavric {

std::string one_line(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += " | ";
    } else {
      out += c;
    }
  }
  return out;
}

std::string shown_answer(const std::string& title, const std::string& answer) {
  if (title == kPromptPinCode && !answer.empty())
    return "\"" + std::string(answer.size(), '*') + "\"";
  return "\"" + answer + "\"";
}

}  // namespace tavric
