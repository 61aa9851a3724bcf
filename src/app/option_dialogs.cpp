#include "app/option_dialogs.h"

#include "app/dialog_text.h"

namespace tavric {

std::optional<std::string> option_answer(const RunOptions& options, const std::string& title) {
  if (title == kPromptSerialPort && options.port) return std::to_string(*options.port);
  if (title == kPromptCellNumber && options.cell) return *options.cell;
  if (title == kPromptPinCode && options.pin) return *options.pin;
  return std::nullopt;
}

void OptionDialogs::message(const std::string& title, const std::string& text) {
  person_.message(title, text);
}

std::string OptionDialogs::prompt(const std::string& title, const std::string& text,
                                  const std::string& default_text) {
  if (auto answer = option_answer(options_, title)) return *answer;
  return person_.prompt(title, text, default_text);
}

void UnattendedDialogs::message(const std::string& title, const std::string& text) {
  err_ << title << ": " << one_line(text) << std::endl;
}

std::string UnattendedDialogs::prompt(const std::string& title, const std::string& text,
                                      const std::string&) {
  // A reload count of 0 fetches nothing again: what the store holds was written by
  // earlier runs. Any other prompt the options leave open is one that only a person
  // could answer (another port, a PIN, a number), and nothing ends or skips it.
  std::string answer = option_answer(options_, title).value_or("");
  if (title == kPromptNoReadings) answer = "0";
  err_ << title << ": " << one_line(text) << " [answered " << shown_answer(title, answer) << "]"
       << std::endl;
  return answer;
}

}  // namespace tavric
