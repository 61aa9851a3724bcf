#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "report/field_scan.h"
#include "report/interval_watch.h"

namespace tavric::report {

// How much a finding calls for a visit: Alert (red) now, Watch (amber) soon.
enum class Level { Ok, Watch, Alert };

// The kinds of finding, as the page's first column names them.
enum class Reason { Battery, Silent, Gaps, Damaged, Repeats, Sensor };
const char* reason_name(Reason r);

struct Finding {
  Reason reason;
  Level level;
  std::string text;
};

// A mark on a probe's charts: a stretch of one sensor column (stuck, out of range), an
// instant (a step, a conflicting reading; column -1 for all charts).
struct ChartMark {
  enum class Kind { Stuck = 0, OutOfRange = 1, Step = 2, Conflict = 3 };
  int column;
  Kind kind;
  Seconds from;
  Seconds to;
};

// What the rules find of one probe.
struct ProbeHealth {
  int probe = 0;
  Level level = Level::Ok;
  std::vector<Finding> findings;  // worst first
  std::optional<Seconds> usual;   // the usual interval
  std::vector<Gap> gaps;          // the longest gaps, for the charts
  std::vector<ChartMark> marks;
};

// Judges every probe of `data` by the rules; worst first, then by probe id.
std::vector<ProbeHealth> judge_probes(const FieldData& data);

// "15 min", "2 h 15 min", "3 d 4 h".
std::string duration_text(Seconds s);

}  // namespace tavric::report
