#pragma once

#include <QWidget>

#include "platform/dialogs.h"

namespace tavric::qt {

// Modal message boxes and input prompts over the main window.
class QtDialogs : public Dialogs {
 public:
  explicit QtDialogs(QWidget* parent) : parent_(parent) {}
  void message(const std::string& title, const std::string& text) override;
  std::string prompt(const std::string& title, const std::string& text,
                     const std::string& default_text) override;

 private:
  QWidget* parent_;
};

}  // namespace tavric::qt
