// The record decoder alone: any 32 bytes under the rules of a fetch and of the stream.
//
// Input: the 32 record bytes (missing ones are 0).

#include <algorithm>

#include "fuzz/fuzz_host.h"
#include "readings/record.h"
#include "readings/record_text.h"

namespace tavric::fuzz {
namespace {

std::size_t count(const std::string& s, char c) {
  return static_cast<std::size_t>(std::count(s.begin(), s.end(), c));
}

// One whole line: text without a line break, then CR LF.
void require_line(const std::string& line, const char* what) {
  require(line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0,
          std::string(what) + " without its line end");
  require(line.find_first_of("\r\n") == line.size() - 2, std::string(what) + " with a break");
  require(line.size() < 300, std::string(what) + " of " + std::to_string(line.size()));
  for (const char* bad : {"nan", "inf", "NAN", "INF"}) {
    require(line.find(bad) == std::string::npos, std::string(what) + ": " + line);
  }
}

void check(const RecordBytes& b, RecordRules rules, const VoltageTable& volts) {
  const bool check_ok = RecordCheck(b) == 0;
  const RecordResult result = DecodeRecord(b, check_ok, rules, volts);
  const RecordLines lines = LinesFor(result);
  const int kind = b[0] >> 4;
  switch (result.verdict) {
    case RecordVerdict::Reading:
      require(kind <= 2, "a reading of kind " + std::to_string(kind));
      require_line(lines.dump, "dump line");
      // Nineteen fields: the header's eighteen and the tail word.
      require(count(lines.dump, ',') == 18, "dump line fields: " + lines.dump);
      if (kind == 2) {
        require(lines.probe.empty(), "a probe data line for kind 2");
      } else {
        require_line(lines.probe, "probe data line");
        require(count(lines.probe, ',') == 14, "probe data line fields: " + lines.probe);
      }
      break;
    case RecordVerdict::Dropped:
    case RecordVerdict::BadClock:
      require(lines.dump.empty() && lines.probe.empty(), "lines for a record that gives none");
      break;
    default:
      require(rules == RecordRules::Fetch, "a marker line in the stream");
      require_line(lines.dump, "marker line");
      require(lines.probe.empty(), "a probe data line with a marker");
      break;
  }
  if (rules == RecordRules::Stream && result.verdict == RecordVerdict::Reading) {
    require(check_ok && b[1] * 256 + b[2] != 0, "the stream took an unchecked record");
  }
}

}  // namespace
}  // namespace tavric::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavric;
  RecordBytes b{};
  std::copy(data, data + std::min(size, b.size()), b.begin());
  static const VoltageTable volts = BuildVoltageTable();
  fuzz::check(b, RecordRules::Fetch, volts);
  fuzz::check(b, RecordRules::Stream, volts);
  return 0;
}
