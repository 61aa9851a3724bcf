#pragma once

#include <functional>

#include "platform/dialogs.h"

namespace tavric::qt {

class FrmProbeServerDump;

// Modal message boxes and input prompts over the main window. A box that ends because
// the window was closed under it (a signal to stop) ends the run: WindowClosed.
class QtDialogs : public Dialogs {
 public:
  explicit QtDialogs(FrmProbeServerDump& window) : window_(window) {}
  void message(const std::string& title, const std::string& text) override;
  std::string prompt(const std::string& title, const std::string& text,
                     const std::string& default_text) override;

  // The ports found, shown below the text of a prompt that asks for a port number.
  std::function<std::string()> port_note;

 private:
  FrmProbeServerDump& window_;
};

}  // namespace tavric::qt
