#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "app/run_options.h"
#include "platform/dialogs.h"

namespace tavric {

// The answer the options give to the prompt titled `title`, if they give one: the
// port, the cell number or the PIN.
std::optional<std::string> option_answer(const RunOptions& options, const std::string& title);

// A person is there, but the prompts the options answer are not shown.
class OptionDialogs : public Dialogs {
 public:
  OptionDialogs(const RunOptions& options, Dialogs& person) : options_(options), person_(person) {}
  void message(const std::string& title, const std::string& text) override;
  std::string prompt(const std::string& title, const std::string& text,
                     const std::string& default_text) override;

 private:
  const RunOptions& options_;
  Dialogs& person_;
};

// Nobody is there: every prompt takes what the options give, otherwise the answer
// that ends the launch or keeps the server's readings safe; a reload count of 0, and
// nothing for every other prompt (no port ends the launch, no PIN sends none, no
// number ends the modem dialogue). Each message and prompt goes to `err` as one line
// with its title.
class UnattendedDialogs : public Dialogs {
 public:
  UnattendedDialogs(const RunOptions& options, std::ostream& err) : options_(options), err_(err) {}
  void message(const std::string& title, const std::string& text) override;
  std::string prompt(const std::string& title, const std::string& text,
                     const std::string& default_text) override;

 private:
  const RunOptions& options_;
  std::ostream& err_;
};

}  // namespace tavric
