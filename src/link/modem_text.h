#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tavric {

// Finds the SIM PIN in the text of a PIN command ("AT+CPIN=" and the PIN, quoted or
// not) as it passes, in whichever pieces it comes: sent, or echoed back by a modem
// whose echo is on. The PIN is what follows "AT+CPIN=" up to the end of the line,
// without its quotes.
class PinFinder {
 public:
  // For each byte of `text`, in order, whether it is a byte of a PIN.
  std::vector<bool> feed(std::string_view text);

 private:
  static constexpr std::size_t kLongestPin = 16;
  std::size_t matched_ = 0;    // bytes of "AT+CPIN=" seen so far
  std::size_t pin_bytes_ = 0;  // PIN bytes since the command, while in the PIN
  bool in_pin_ = false;
};

// `text` with the PIN of every PIN command in it replaced by '*'.
std::string without_pin(std::string_view text);

// `text` for a message: the PIN hidden and control bytes other than the line breaks
// (which the message shows as breaks) written as \xNN, so that a modem's stray bytes
// show as what they are and reach no terminal raw.
std::string modem_text_for_message(std::string_view text);

}  // namespace tavric
