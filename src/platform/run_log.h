#pragma once

#include <string>

namespace tavric {

// A record of what a launch did, kept for whoever supports the user: one note per
// line, stamped by the log itself.
class RunLog {
 public:
  virtual ~RunLog() = default;
  virtual void note(const std::string& text) = 0;
};

// Notes `text` when the launch is being recorded.
inline void log_note(RunLog* log, const std::string& text) {
  if (log) log->note(text);
}

}  // namespace tavric
