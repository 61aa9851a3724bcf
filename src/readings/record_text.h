#pragma once

#include <cstdint>
#include <string>

#include "readings/record.h"

namespace tavric {

// The dump line of a decoded reading, with its line end.
std::string DumpLine(const Reading& r);

// The probe data line of a kind-0 or kind-1 reading, with its line end; kind 2 has none.
std::string ProbeLine(const Reading& r);

// The one-line markers written to the dump file instead of a reading.
std::string CrcErrorLine(std::int32_t ProbeID);
std::string ProbeSettingsLine(std::int32_t ProbeID);
std::string RepeaterSettingsLine(std::int32_t ProbeID);
std::string InvalidDataLine(std::int32_t ProbeID, int kind);

// Everything one record puts out, ready to be written.
struct RecordLines {
  std::string dump;   // a whole line, or empty
  std::string probe;  // a whole line, or empty
  bool low_battery = false;
  std::int32_t ProbeID = 0;
  float Volts = 0.0F;
};

// The lines of a classified record. A BadClock or Dropped record gives no line.
RecordLines LinesFor(const RecordResult& result);

}  // namespace tavric
