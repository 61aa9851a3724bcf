#pragma once

#include <cstdint>
#include <string_view>

#include "session/session.h"

namespace tavric {

// A run that keeps the server's store after appending readings to the probe data file
// will see those readings again in the next run. Which bytes of the probe data file
// such runs appended is recorded beside it, so that the next run appends none of those
// lines a second time. The dump files, one per run, are not concerned.
inline constexpr const char* kKeptLinesFile = "Tavric Probe Data.kept";

// Before this run appends its first reading at byte `start` of the probe data file:
// takes the lines of the ranges earlier runs recorded (those the file still holds
// unchanged) and records that this run appends from `start` on, so that a run killed
// on the way is covered too.
void LoadKeptLines(Session& s, std::uintmax_t start);

// True when `line` (with its line end) is a line a kept run appended: it is then not
// to be appended again, and counts as used.
bool TakeKeptLine(Session& s, std::string_view line);

// After the probe data file is closed at `end` bytes: records what this run appended.
void RecordAppendedLines(Session& s, std::uintmax_t end);

// After the server confirmed that its store is empty: no recorded reading can come
// again, and the record goes.
void ForgetKeptLines(Session& s);

}  // namespace tavric
