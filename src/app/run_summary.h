#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/download_run.h"

namespace tavric {

// What the run learned on its way that the run state does not keep to its end.
struct RunFacts {
  bool connected = false;  // a server answered (the stages ran)
  bool legacy = false;
  bool by_modem = false;
  std::optional<std::uintmax_t> probe_data_before{};  // size before the run; none: missing
};

// The summary of a run that ended with exit status `status`: the server, what was
// fetched and written and where, the store, the server clock, low batteries and the
// chart page. Two lines, the first about the server, the second about the files.
std::vector<std::string> SummariseRun(const DownloadRun& run, const RunFacts& facts, int status);

// Sums the run up at its end: the lines go to the trace and are kept in
// `run.RunSummary` for the program to print.
void NoteRunSummary(DownloadRun& run, const RunFacts& facts, int status);

// Writes the summary lines to `out`, each after the program's name: what a scheduled
// run prints on standard output.
void PrintRunSummary(const std::vector<std::string>& lines, std::ostream& out);

}  // namespace tavric
