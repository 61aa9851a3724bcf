#pragma once

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>

#include "platform/clock.h"
#include "platform/run_log.h"

namespace tavric {

// The support trace of one launch: plain text, one note a line, each starting with
// the milliseconds since the launch began. Lines are written in batches, at each flush
// (the end of an exchange, a prompt, a message, the exit), not one system call each.
// Writing it can never stop the launch: the first time a line cannot be written, `err`
// is told once and the trace falls silent. Notes that start with `kWarning` are told on
// `err` as well, and control bytes in a note are written as \xNN.
class Trace : public RunLog {
 public:
  // Lines go to `out`, called `name` when it fails; a null `out` could not be opened,
  // for the reason `failure`.
  Trace(const Clock& clock, std::unique_ptr<std::ostream> out, std::string name, std::ostream& err,
        const std::string& failure = "cannot be created");
  ~Trace() override { flush(); }
  Trace(const Trace&) = delete;
  Trace& operator=(const Trace&) = delete;
  // A trace in `file`, a new file in place of whatever had that name.
  static std::unique_ptr<Trace> to_file(const Clock& clock, const std::filesystem::path& file,
                                        std::ostream& err);

  void note(const std::string& text) override;
  void flush() override;
  bool working() const { return out_ != nullptr; }
  const std::string& name() const { return name_; }

 private:
  void give_up(const std::string& reason);

  const Clock& clock_;
  const MonoTime start_;
  std::unique_ptr<std::ostream> out_;
  std::string name_;
  std::ostream& err_;
};

}  // namespace tavric
