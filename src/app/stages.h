#pragma once

#include <string>

#include "app/download_run.h"

namespace tavric {

// The stages between the connection loop and the wind-up: reading count, download,
// server clock and clearing. `legacy` selects the legacy branch of each.
void RunStages(DownloadRun& run, bool legacy);

// "5 readings could not be fetched", "1 block of readings could not be fetched": the
// readings of the run that were not brought, for the trace and the wind-up's message.
std::string MissingText(const MissingReadings& s, bool legacy);

// The "Readings Kept" message of a run whose link held but which left readings on the
// server: how many, and whether a later run can fetch them.
std::string KeptText(const MissingReadings& s, bool legacy);

// Whether a v5 status describes a store the run can work with: at least one slot,
// and both pointers inside it.
bool TrustedV5Status(const ServerStatus& s);

}  // namespace tavric
