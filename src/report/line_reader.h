#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>
#include <system_error>

#include "platform/file_system.h"

namespace tavric::report {

// One line of a text file as the reader hands it on.
struct TextLine {
  std::string_view text;  // without its line end (LF or CR LF)
  bool ended;             // false for a last line that has no line end
  bool overlong;          // longer than any line of the files: `text` holds its start only
};

// Reads `file` from its start in chunks and calls `on_line` for each line, so that a
// file of any size needs the memory of one chunk. Gives the first read failure; a file
// that is not there reads as no lines.
std::error_code for_each_line(FileSystem& files, const std::filesystem::path& file,
                              const std::function<void(const TextLine&)>& on_line);

}  // namespace tavric::report
