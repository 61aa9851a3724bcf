#pragma once

#include <QSocketNotifier>
#include <functional>
#include <memory>
#include <string>

namespace tavric::qt {

// SIGINT, SIGTERM and SIGHUP, turned into a call in the event loop: the program ends
// its run as if the window was closed, instead of dying mid-exchange. The handler only
// writes the signal's number to a pipe; the event loop reads it.
class StopSignals {
 public:
  StopSignals();  // catches the signals from now on
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Calls `on_stop` in the event loop for the first signal (also one that came before).
  // Needs the application object.
  void listen(std::function<void(int signal_number)> on_stop);
  int received() const { return received_; }  // the first signal, 0 = none

  static std::string name(int signal_number);
  static int exit_status(int signal_number);  // 128 + the signal's number

 private:
  void take();

  int pipe_[2] = {-1, -1};
  int received_ = 0;
  std::function<void(int)> on_stop_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace tavric::qt
