#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "report/csv_line.h"
#include "report/downsampler.h"
#include "report/sensor_watch.h"

namespace tavric::report {

// The lines of one probe's charts: the soil temperatures of depths 1 to 6, the soil
// moistures of depths 1 to 6, and the battery voltage.
inline constexpr int kTemperatureLine = 0;
inline constexpr int kMoistureLine = kDepths;
inline constexpr int kVoltsLine = 2 * kDepths;
inline constexpr int kDataLines = 2 * kDepths + 1;

// A battery below this is low, as in the run's low-battery report.
inline constexpr Hundredths kLowVolts = 340;
// 997 V and up are codes of the server (999: power failure), not voltages.
inline constexpr Hundredths kVoltsCodes = 99700;

// "yyyy/mm/dd HH:MM:SS".
std::string time_text(Seconds t);

// What the page shows of one probe, gathered line by line in one pass.
class ProbeSummary {
 public:
  explicit ProbeSummary(int probe) : probe_(probe) {}

  // A line of the probe data file, in any order. The sensors are watched over the lines
  // that go forward in time, and the latest line gives the battery.
  void add(const ProbeDataLine& line);
  // The ambient temperature of one of the probe's readings, taken from a dump file.
  void add_ambient(Seconds time, Hundredths ambient) { ambient_.add({time, ambient}); }
  void mark_in_last_run() { in_last_run_ = true; }

  int probe() const { return probe_; }
  std::uint64_t readings() const { return readings_; }
  Seconds first() const { return first_; }
  Seconds last() const { return last_; }
  Hundredths latest_volts() const { return latest_volts_; }
  bool in_last_run() const { return in_last_run_; }
  const Downsampler& line(int index) const { return lines_[index]; }
  const Downsampler& ambient() const { return ambient_; }

  // The signs of trouble, one text each: columns that read 0 now, columns that read
  // one value for a whole day, and (when the last run is known) no reading in it.
  std::vector<std::string> warnings(bool last_run_known) const;

 private:
  int probe_;
  std::uint64_t readings_ = 0;
  Seconds first_ = 0;
  Seconds last_ = 0;
  Hundredths latest_volts_ = 0;
  bool in_last_run_ = false;
  std::array<Downsampler, kDataLines> lines_;
  std::array<SensorWatch, 2 * kDepths> watches_;  // temperatures, then moistures
  Downsampler ambient_;
};

// The name of a column of the probe data file: "Temp3", "Water%3".
std::string column_name(int watch_index);

}  // namespace tavric::report
