#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "report/battery_watch.h"
#include "report/csv_line.h"
#include "report/downsampler.h"
#include "report/interval_watch.h"
#include "report/repeat_watch.h"
#include "report/sensor_watch.h"

namespace tavric::report {

// The lines of one probe's charts: the soil temperatures of depths 1 to 6, the soil
// moistures of depths 1 to 6, and the battery voltage.
inline constexpr int kTemperatureLine = 0;
inline constexpr int kMoistureLine = kDepths;
inline constexpr int kVoltsLine = 2 * kDepths;
inline constexpr int kDataLines = 2 * kDepths + 1;
// The sensor columns: temperatures, then moistures, as the chart lines number them.
inline constexpr int kSensorColumns = 2 * kDepths;

// "yyyy/mm/dd HH:MM:SS".
std::string time_text(Seconds t);

// What the page shows of one probe, gathered line by line in one pass.
class ProbeSummary {
 public:
  static constexpr std::size_t kConflictsKept = 8;

  explicit ProbeSummary(int probe);

  // A line of the probe data file, in any order. A line that repeats a reading is
  // counted and left out; the sensors and the spacing are watched over the lines that
  // go forward in time, and the latest line gives the battery.
  void add(const ProbeDataLine& line);
  // The ambient temperature of one of the probe's readings, taken from a dump file.
  void add_ambient(Seconds time, Hundredths ambient) { ambient_.add({time, ambient}); }
  // A reading of the probe in the newest dump, the last run's.
  void add_last_run(Hundredths volts);

  int probe() const { return probe_; }
  std::uint64_t readings() const { return readings_; }  // each reading once
  std::uint64_t repeats() const { return repeats_; }    // lines that repeat one
  std::uint64_t conflicts() const { return conflicts_; }
  const std::vector<Seconds>& latest_conflicts() const { return conflict_times_; }
  std::uint64_t unchecked() const { return repeat_watch_.unchecked(); }
  Seconds first() const { return first_; }
  Seconds last() const { return last_; }
  Hundredths latest_volts() const { return latest_volts_; }
  bool in_last_run() const { return in_last_run_; }
  std::optional<Hundredths> last_run_lowest() const { return last_run_lowest_; }
  const BatteryWatch& battery() const { return battery_; }
  const IntervalWatch& intervals() const { return intervals_; }
  const SensorWatch& sensor(int column) const { return sensors_[column]; }
  const Downsampler& line(int index) const { return lines_[index]; }
  const Downsampler& ambient() const { return ambient_; }

 private:
  void watch_steps(const ProbeDataLine& now);

  int probe_;
  std::uint64_t readings_ = 0;
  std::uint64_t repeats_ = 0;
  std::uint64_t conflicts_ = 0;
  std::vector<Seconds> conflict_times_;  // the latest few
  Seconds first_ = 0;
  Seconds last_ = 0;
  Hundredths latest_volts_ = 0;
  bool in_last_run_ = false;
  std::optional<Hundredths> last_run_lowest_;
  std::optional<ProbeDataLine> previous_;  // the latest line forward in time
  std::array<Downsampler, kDataLines> lines_;
  std::array<SensorWatch, kSensorColumns> sensors_;
  RepeatWatch repeat_watch_;
  BatteryWatch battery_;
  IntervalWatch intervals_;
  Downsampler ambient_;
};

// The name of a column of the probe data file: "Temp3", "Water%3".
std::string column_name(int column);

}  // namespace tavric::report
