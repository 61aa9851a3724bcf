#pragma once

#include <cstdint>
#include <vector>

#include "platform/calendar.h"
#include "sim/random.h"
#include "sim/record.h"

namespace tavric::sim {

// How often each kind of entry appears, in records per thousand. The rest are kind-1
// readings. Low batteries and power fails apply to readings of kinds 0 and 1.
struct RecordMix {
  int kind0 = 60;        // readings with the clock in seconds
  int kind2 = 20;        // entries without sensor values
  int settings = 15;     // kind 4 or 5
  int invalid = 5;       // kind 3 or 6..15
  int bad_check = 5;     // readings whose check fails
  int low_battery = 40;  // battery below 3.4 V
  int power_fail = 10;   // power-fail flag (kind 1: battery code 15)
  // Probes that stop reporting, counted in rounds of readings (with three probes or
  // more): the second probe misses `gap_rounds` rounds from round `gap_from`; the last
  // probe falls silent from round `silent_from` (0: never).
  int gap_from = 40;
  int gap_rounds = 8;
  int silent_from = 70;

  // Kind-1 readings with good batteries only from every probe: every record gives one
  // line of each file.
  static RecordMix clean() { return {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}; }
};

struct GeneratorOptions {
  std::uint64_t seed = 1;
  int probes = 6;                            // probe ids are drawn once from the seed
  LocalDateTime start{2012, 3, 1, 0, 0, 0};  // time of the first round of readings
  int interval_minutes = 15;                 // every probe reports once per interval
  RecordMix mix;
  // Keeps the byte pair 0x4F 0x4E out of the records, since inside a stream frame it
  // would read as a frame boundary.
  bool avoid_frame_marks = true;
};

// Records in the order a server stores them: rounds of one record per probe, with
// slowly varying soil temperatures and moistures, a daily cycle of the ambient
// temperature, and the odd entry of every other kind as the mix says.
class RecordGenerator {
 public:
  explicit RecordGenerator(GeneratorOptions options = {});

  Record next();
  std::vector<Record> take(int count);

 private:
  struct Probe {
    int id;
    int record_number;
    double soil_base;    // degrees C at the deepest sensor
    double moisture[6];  // percent
    int battery_code;
  };
  Reading reading_for(Probe& p, const LocalDateTime& t);
  Record make(Probe& p, const LocalDateTime& t);
  static bool has_frame_mark(const Record& r);
  bool absent(std::size_t probe, std::int64_t round) const;

  GeneratorOptions options_;
  Random random_;
  std::vector<Probe> probes_;
  std::int64_t index_ = 0;  // records made so far
};

}  // namespace tavric::sim
