#pragma once

#include <string>

namespace tavric {

// Modal boxes: a message with an OK button and the information icon, and an input
// prompt that gives back the typed text, or an empty text when cancelled.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual void message(const std::string& title, const std::string& text) = 0;
  virtual std::string prompt(const std::string& title, const std::string& text,
                             const std::string& default_text) = 0;
};

}  // namespace tavric
