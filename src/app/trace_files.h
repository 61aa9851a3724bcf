#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

#include "platform/calendar.h"

namespace tavric {

inline constexpr std::size_t kTracesKept = 100;

// "trace-YYYYMMDD-HHMMSS.txt" for a launch that started at `start`.
std::string trace_file_name(const LocalDateTime& start);

// A file name in `dir` for a launch that started at `start` that no other trace has:
// a launch in the same second as another gets "-2", "-3" ... before ".txt".
std::filesystem::path new_trace_file(const std::filesystem::path& dir, const LocalDateTime& start);

// Removes the oldest traces of `dir` until at most `keep` are left, never `current`.
// Other files are left alone; a trace that cannot be removed stays.
void prune_traces(const std::filesystem::path& dir, std::size_t keep,
                  const std::filesystem::path& current);

}  // namespace tavric
