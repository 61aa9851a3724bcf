#pragma once

#include <functional>

#include "platform/dialogs.h"

namespace tavric::win {

class MainWindow;

// Modal message boxes and input prompts over the main window. A box that ends because
// the window was closed under it (a stop request) ends the run: WindowClosed.
class WinDialogs : public Dialogs {
 public:
  explicit WinDialogs(MainWindow& window) : window_(window) {}
  void message(const std::string& title, const std::string& text) override;
  std::string prompt(const std::string& title, const std::string& text,
                     const std::string& default_text) override;

  // The ports found, shown below the text of a prompt that asks for a port number.
  std::function<std::string()> port_note;

 private:
  MainWindow& window_;
};

// Texts break their lines with a carriage return; a Windows box wants CR LF.
std::wstring display_text(const std::string& text);

}  // namespace tavric::win
