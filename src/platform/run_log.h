#pragma once

#include <string>

namespace tavric {

// A record of what a launch did, kept for whoever supports the user: one note per
// line, stamped by the log itself.
class RunLog {
 public:
  virtual ~RunLog() = default;
  virtual void note(const std::string& text) = 0;
  // Notes may be held back and written in batches; this writes them out now. Called at
  // the end of every exchange and before every prompt and message, so the record is
  // whole up to there whatever happens next.
  virtual void flush() {}
};

// Notes `text` when the launch is being recorded.
inline void log_note(RunLog* log, const std::string& text) {
  if (log) log->note(text);
}

// A note that starts with this is told on standard error too: whoever runs the program
// must learn of it, not only whoever reads the trace later.
inline constexpr const char* kWarning = "warning: ";

inline void log_warning(RunLog* log, const std::string& text) {
  log_note(log, kWarning + text);
}

inline void log_flush(RunLog* log) {
  if (log) log->flush();
}

}  // namespace tavric
