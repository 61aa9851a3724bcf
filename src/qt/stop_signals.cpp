#include "qt/stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace tavric::qt {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
int g_write_end = -1;

void on_signal(int signal_number) {
  const int saved = errno;
  const unsigned char number = static_cast<unsigned char>(signal_number);
  if (g_write_end >= 0) (void)::write(g_write_end, &number, 1);
  errno = saved;
}

}  // namespace

StopSignals::StopSignals() {
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
  g_write_end = pipe_[1];
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int s : kSignals) ::sigaction(s, &action, nullptr);
}

StopSignals::~StopSignals() {
  for (const int s : kSignals) std::signal(s, SIG_DFL);
  g_write_end = -1;
  notifier_.reset();
  for (const int fd : pipe_) {
    if (fd >= 0) ::close(fd);
  }
}

void StopSignals::listen(std::function<void(int)> on_stop) {
  on_stop_ = std::move(on_stop);
  if (pipe_[0] < 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { take(); });
}

void StopSignals::take() {
  unsigned char number = 0;
  while (::read(pipe_[0], &number, 1) == 1) {
    if (received_ != 0) continue;  // the first signal decides; later ones change nothing
    received_ = number;
    if (on_stop_) on_stop_(received_);
  }
}

std::string StopSignals::name(int signal_number) {
  switch (signal_number) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "signal " + std::to_string(signal_number);
  }
}

int StopSignals::exit_status(int signal_number) {
  return 128 + signal_number;
}

}  // namespace tavric::qt
