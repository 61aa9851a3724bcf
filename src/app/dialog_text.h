#pragma once

#include <string>

namespace tavric {

// Prompt titles whose answers the options can give.
inline constexpr const char* kPromptSerialPort = "Serial Port";
inline constexpr const char* kPromptPinCode = "Pin Code";
inline constexpr const char* kPromptCellNumber = "Cell Number";
inline constexpr const char* kPromptNoReadings = "No Readings";

// `text` on one line: each run of line breaks (CR, LF) between words becomes " | ".
std::string one_line(const std::string& text);

// A prompt's answer as a log may show it: quoted, with a PIN hidden.
std::string shown_answer(const std::string& title, const std::string& answer);

}  // namespace tavric
