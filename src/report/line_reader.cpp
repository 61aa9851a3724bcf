#include "report/line_reader.h"

#include <string>

namespace tavric::report {
namespace {

constexpr std::size_t kChunk = std::size_t{1} << 20;
// Far longer than a line of the files (at most about 200 characters); a file without
// line ends (a binary file under the name) is read in pieces of this size.
constexpr std::size_t kLongestLine = 4096;

std::string_view without_cr(std::string_view text) {
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  return text;
}

}  // namespace

std::error_code for_each_line(FileSystem& files, const std::filesystem::path& file,
                              const std::function<void(const TextLine&)>& on_line) {
  if (!files.is_regular_file(file)) return {};
  std::error_code error;
  const std::uintmax_t size = files.file_size(file, error);
  if (error) return error;

  std::string pending;             // the start of a line that goes on in the next chunk
  bool skipping_overlong = false;  // the rest of an overlong line, until its end
  for (std::uintmax_t at = 0; at < size;) {
    const std::string chunk = files.read(file, at, kChunk, error);
    if (error) return error;
    if (chunk.empty()) break;  // the file was cut back meanwhile
    std::string_view rest = chunk;
    at += chunk.size();
    while (!rest.empty()) {
      const std::size_t end = rest.find('\n');
      if (end == std::string_view::npos) {
        if (skipping_overlong) break;
        pending.append(rest.substr(0, kLongestLine + 1 - pending.size()));
        if (pending.size() > kLongestLine) {
          on_line({std::string_view(pending).substr(0, kLongestLine), false, true});
          pending.clear();
          skipping_overlong = true;
        }
        break;
      }
      const std::string_view piece = rest.substr(0, end);
      if (skipping_overlong) {
        skipping_overlong = false;
      } else if (!pending.empty()) {
        pending.append(piece.substr(0, kLongestLine + 1 - pending.size()));
        const bool overlong = pending.size() > kLongestLine;
        on_line({without_cr(pending), true, overlong});
        pending.clear();
      } else {
        on_line({without_cr(piece), true, piece.size() > kLongestLine});
      }
      rest.remove_prefix(end + 1);
    }
  }
  if (!pending.empty()) on_line({without_cr(pending), false, false});
  return {};
}

}  // namespace tavric::report
