#include "link/modem_text.h"

#include <cctype>
#include <cstdio>

#include "platform/escaped.h"

namespace tavric {
namespace {

constexpr std::string_view kPinCommand = "AT+CPIN=";

}  // namespace

std::vector<bool> PinFinder::feed(std::string_view text) {
  std::vector<bool> secret(text.size(), false);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_pin_) {
      if (c == '\r' || c == '\n' || pin_bytes_ >= kLongestPin) {
        in_pin_ = false;
      } else {
        secret[i] = c != '"';
        if (secret[i]) ++pin_bytes_;
        continue;
      }
    }
    // No proper end of "AT+CPIN=" is also its start, so a mismatch starts over at
    // this byte.
    const char want = kPinCommand[matched_];
    if (std::toupper(static_cast<unsigned char>(c)) == want) {
      ++matched_;
    } else {
      matched_ = std::toupper(static_cast<unsigned char>(c)) == kPinCommand[0] ? 1 : 0;
    }
    if (matched_ == kPinCommand.size()) {
      matched_ = 0;
      in_pin_ = true;
      pin_bytes_ = 0;
    }
  }
  return secret;
}

std::string without_pin(std::string_view text) {
  std::string out(text);
  const std::vector<bool> secret = PinFinder().feed(text);
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (secret[i]) out[i] = '*';
  }
  return out;
}

std::string modem_text_for_message(std::string_view text) {
  return escaped(without_pin(text), Escape::ControlsButNewlines);
}

}  // namespace tavric
