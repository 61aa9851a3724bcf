// The chart page's line reader, on a probe data file or dump of any content: every
// line handed on is one line, a line over the reader's limit is marked overlong, and no
// line end is lost or invented.
//
// Input: the file's content.

#include <string_view>

#include "fuzz/fuzz_host.h"
#include "report/line_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavric;
  using namespace tavric::fuzz;
  constexpr std::size_t kLongestLine = 4096;  // the reader's limit
  const std::string content(reinterpret_cast<const char*>(data), size);
  MemoryFiles files;
  files.files["data.csv"] = content;
  std::size_t ended = 0;
  std::size_t unended = 0;
  bool any_overlong = false;
  const std::error_code error =
      report::for_each_line(files, "data.csv", [&](const report::TextLine& line) {
        require(unended == 0, "a line after the unended last one");
        require(line.text.find('\n') == std::string_view::npos, "a line end inside a line");
        require(line.overlong || line.text.size() <= kLongestLine,
                "a line over the limit not marked overlong");
        any_overlong = any_overlong || line.overlong;
        (line.ended ? ended : unended) += 1;
      });
  require(!error, "a file in memory failed to read");
  std::size_t breaks = 0;
  for (const char c : content) breaks += c == '\n';
  // An overlong line may hand on its start before its end is seen; otherwise each line
  // end makes one ended line, and text after the last one makes one unended line.
  if (!any_overlong) {
    require(ended == breaks, "ended lines and line ends differ");
    const bool tail = !content.empty() && content.back() != '\n';
    require(unended == (tail ? 1U : 0U), "text after the last line end was lost or invented");
  }
  return 0;
}
