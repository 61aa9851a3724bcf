#include "report/field_scan.h"

#include <algorithm>
#include <cstdio>

#include "readings/number_format.h"
#include "readings/output_files.h"
#include "report/health_rules.h"
#include "report/line_reader.h"

namespace tavric::report {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kListedUnits = 100;  // as the run's list, whose spare slot is never named

fs::path dump_file(const fs::path& output_dir, int number) {
  char name[16];
  std::snprintf(name, sizeof name, "Dump%02d.csv", number);
  return output_dir / kDumpFolder / name;
}

std::string read_failure(const fs::path& file, std::error_code error) {
  return path_text(file) + ": " + error.message();
}

std::string scan_probe_data(FileSystem& files, const fs::path& file, FieldData& data) {
  std::uint64_t number = 0;
  const std::error_code error = for_each_line(files, file, [&](const TextLine& line) {
    ++number;
    if (is_header_line(line.text) || (line.ended && line.text.empty())) return;
    // A last line without its end was cut short while it was written.
    const auto reading =
        line.ended && !line.overlong ? parse_probe_data_line(line.text) : std::nullopt;
    if (!reading) {
      ++data.lines_skipped;
      if (data.first_skipped.size() < kSkippedLinesNamed) data.first_skipped.push_back(number);
      return;
    }
    ++data.lines_taken;
    data.probes.try_emplace(reading->probe, reading->probe).first->second.add(*reading);
  });
  return error ? read_failure(file, error) : std::string();
}

// Ambient temperatures for the probes of the probe data file, the damaged records, and
// the last run: its readings, the probes it heard from and its low batteries.
std::string scan_dump(FileSystem& files, const fs::path& file, int number, FieldData& data) {
  if (!files.is_regular_file(file)) return {};
  ++data.dumps_read;
  const bool newest = number == 0;
  if (newest) data.last_run.emplace();
  std::optional<Seconds>& dump_newest = data.dump_newest[static_cast<std::size_t>(number)];
  const std::error_code error = for_each_line(files, file, [&](const TextLine& line) {
    if (!line.ended || line.overlong) return;
    const auto reading = parse_dump_line(line.text);
    if (!reading) {
      const auto marker = parse_marker_line(line.text);
      if (!marker || marker->kind == MarkerLine::Kind::Settings) return;
      Damage& d = data.damage[marker->probe];
      ++(marker->kind == MarkerLine::Kind::CrcError ? d.crc_errors : d.invalid);
      d.dumps.set(static_cast<std::size_t>(number));
      return;
    }
    const auto probe = data.probes.find(reading->probe);
    if (newest) {
      // An entry without values carries a battery, which the run's message counts too.
      data.last_run_low.add(reading->probe, reading->volts);
      if (probe != data.probes.end()) probe->second.add_last_run(reading->volts);
    }
    if (reading->all_zero) return;
    dump_newest = std::max(dump_newest.value_or(reading->time), reading->time);
    if (newest) {
      ++data.last_run->readings;
      data.last_run->newest = dump_newest;
    }
    if (probe == data.probes.end()) return;
    probe->second.add_ambient(reading->time, reading->ambient);
    data.ambient_from = std::min(data.ambient_from.value_or(reading->time), reading->time);
    data.ambient_to = std::max(data.ambient_to.value_or(reading->time), reading->time);
  });
  return error ? read_failure(file, error) : std::string();
}

}  // namespace

void LowBatteryList::add(int probe, Hundredths volts) {
  // From the lowest battery code up to, not including, the low-battery line.
  if (volts < rules::kLowestBattery || volts >= rules::kLowVolts) return;
  for (Unit& u : units_) {
    if (u.probe == probe) {
      u.volts = std::min(u.volts, volts);
      return;
    }
  }
  if (units_.size() < kListedUnits) units_.push_back({probe, volts});
}

std::string LowBatteryList::text() const {
  std::string out;
  for (const Unit& u : units_) {
    if (u.probe <= 0) continue;
    out += (out.empty() ? "" : ", ") + std::to_string(u.probe) + " (" +
           FormatNumber(static_cast<float>(u.volts) / 100.0F, "##0.0") + "V)";
  }
  return out;
}

std::string scan_field(FileSystem& files, const fs::path& output_dir, FieldData& data) {
  const fs::path probe_data = output_dir / kProbeDataFile;
  data.probe_data_found = files.is_regular_file(probe_data);
  if (std::string failure = scan_probe_data(files, probe_data, data); !failure.empty()) {
    return failure;
  }
  // Oldest first, so that each probe's ambient temperatures come in time order.
  for (int number = kDumpFiles - 1; number >= 0; --number) {
    if (std::string failure = scan_dump(files, dump_file(output_dir, number), number, data);
        !failure.empty()) {
      return failure;
    }
  }
  return {};
}

}  // namespace tavric::report
