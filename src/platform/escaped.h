#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace tavric {

// Which bytes `escaped` shows as \xNN.
enum class Escape {
  Controls,             // control bytes; the bytes of UTF-8 letters pass
  ControlsButNewlines,  // the same, line breaks pass too
  AllButAscii,          // everything but printable ASCII
};

// `text` with the bytes `what` names shown as \xNN, so that bytes from a line (a modem's
// NUL, an escape sequence) can never garble a message, a terminal or a trace line.
inline std::string escaped(std::string_view text, Escape what = Escape::Controls) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    const bool passes = (b >= 0x20 && b != 0x7F && (b < 0x80 || what != Escape::AllButAscii)) ||
                        (what == Escape::ControlsButNewlines && (c == '\r' || c == '\n'));
    if (passes) {
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
