// The record of the lines kept back, read from a file anyone with write access to the
// output folder may have changed: it is taken whole or not at all.
//
// Input: the record's text.

#include <string_view>

#include "fuzz/fuzz_host.h"
#include "readings/kept_lines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavric;
  using namespace tavric::fuzz;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto ranges = ParseKeptRecord(text);
  if (!ranges) return 0;
  require(text.ends_with('\n'), "a record cut short was taken");
  std::size_t lines = 0;
  for (const char c : text) lines += c == '\n';
  // Two lines of heading, then one line per range.
  require(ranges->size() + 2 == lines, "a line of the record was passed over");
  for (const KeptRange& r : *ranges) {
    require(!r.to || *r.to >= r.from, "a range that ends before it starts");
  }
  return 0;
}
