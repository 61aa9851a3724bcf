#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tavric::report {

inline constexpr int kDepths = 6;

// A reading's time to the second, counted on the calendar from 2000-01-01 00:00:00 (the
// files carry no time zone). 32 bits reach 1932 to 2068, which covers every clock a
// server can send.
using Seconds = std::int32_t;

// Measured values are held in hundredths of their unit, as whole numbers: the files
// write at most two decimals, so nothing is lost, and equal texts give equal values.
using Hundredths = std::int32_t;

// One line of the probe data file.
struct ProbeDataLine {
  int probe = 0;
  Seconds time = 0;
  std::array<Hundredths, kDepths> temperature{};  // °C
  std::array<Hundredths, kDepths> moisture{};     // %
  Hundredths volts = 0;
};

// What the chart page needs of one reading line of a dump file.
struct DumpLine {
  int probe = 0;
  Seconds time = 0;
  Hundredths ambient = 0;  // °C
  Hundredths volts = 0;
  // No sensor value and no ambient temperature: an entry without readings, whose zeros
  // were written in place of values.
  bool all_zero = false;
};

// The line without its line end, or nothing when it is not a whole reading line: a
// field missing or extra, a number or date that does not read, a voltage without its
// decimal. Missing leading zeros, blanks around a field and extra decimals (rounded to
// hundredths) are taken, as a spreadsheet that saved the file may write them.
std::optional<ProbeDataLine> parse_probe_data_line(std::string_view line);
std::optional<DumpLine> parse_dump_line(std::string_view line);

// A marker line of a dump file, written for a record that gave no reading.
struct MarkerLine {
  enum class Kind { CrcError, InvalidData, Settings };
  int probe = 0;
  Kind kind = Kind::CrcError;
};
std::optional<MarkerLine> parse_marker_line(std::string_view line);

// A header line of either file ("Probe," at its start), which a file may hold again
// where two files were joined.
bool is_header_line(std::string_view line);

// "yyyy/mm/dd HH:MM:SS" (or with "-" between the date's parts) as Seconds.
std::optional<Seconds> parse_date_time(std::string_view text);

// A decimal number with an optional "-" and at most one ".", in hundredths, rounded
// half away from zero.
std::optional<Hundredths> parse_hundredths(std::string_view text);

}  // namespace tavric::report
