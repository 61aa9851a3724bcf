#include "link/modem_text.h"

#include <cctype>
#include <cstdio>

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
  std::string out;
  for (const char c : without_pin(text)) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b != 0x7F) {
      out += c;  // printable, or a byte of a UTF-8 letter
    } else if (c == '\r' || c == '\n') {
      out += c;
    } else {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02X", b);
      out += code;
    }
  }
  return out;
}

}  // namespace tavric
