#pragma once

#include <cstdint>
#include <string_view>

#include "session/session.h"

namespace tavric {

inline constexpr const char* kDumpFolder = "Tavric Dumps";
inline constexpr const char* kProbeDataFile = "Tavric Probe Data.csv";

// Creates the dump folder, rotates Dump00..Dump99, opens Dump00.csv afresh as the
// dump file and the probe data file for appending, with their header lines.
void PrepareOutputFiles(Session& s);

// Writes to the dump file / probe data file; a failure is recorded in OutputFault.
void WriteDump(Session& s, std::string_view text);
void WriteProbe(Session& s, std::string_view text);

// Flushes both files to the disk (and their folders), then closes them. A failure
// is recorded in OutputFault.
void CloseOutputFiles(Session& s);

// Keeps the lowest voltage per unit for the low-battery report (2.2 V and up).
void AddLowVolts(Session& s, std::int32_t ProbeID, float Vlt);

// Shows the "Low Batteries" message when the run collected any unit.
void ShowLowBatteryReport(Session& s);

}  // namespace tavric
