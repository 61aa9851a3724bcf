#include "app/trace_files.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/file_system.h"

namespace tavric {
namespace {

// The start time and the same-second number of a trace's file name.
using TraceKey = std::pair<std::string, int>;

bool digits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "trace-YYYYMMDD-HHMMSS.txt" or "trace-YYYYMMDD-HHMMSS-N.txt" (N of up to six digits).
std::optional<TraceKey> trace_key(std::string_view name) {
  constexpr std::string_view kStart = "trace-";
  constexpr std::string_view kEnd = ".txt";
  constexpr std::size_t kStamp = 15;  // YYYYMMDD-HHMMSS
  if (!name.starts_with(kStart) || !name.ends_with(kEnd)) return std::nullopt;
  name = name.substr(kStart.size(), name.size() - kStart.size() - kEnd.size());
  if (name.size() < kStamp || !digits(name.substr(0, 8)) || name[8] != '-' ||
      !digits(name.substr(9, 6))) {
    return std::nullopt;
  }
  const std::string_view rest = name.substr(kStamp);
  if (rest.empty()) return TraceKey{std::string(name), 1};
  if (rest[0] != '-' || rest.size() > 7 || !digits(rest.substr(1))) return std::nullopt;
  return TraceKey{std::string(name.substr(0, kStamp)), std::stoi(std::string(rest.substr(1)))};
}

}  // namespace

std::string trace_file_name(const LocalDateTime& t) {
  char name[64];
  std::snprintf(name, sizeof name, "trace-%04d%02d%02d-%02d%02d%02d.txt", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return name;
}

std::filesystem::path new_trace_file(const std::filesystem::path& dir, const LocalDateTime& start) {
  const std::string name = trace_file_name(start);
  std::filesystem::path file = dir / name;
  std::error_code e;
  // A name is taken by whatever has it, a link that leads nowhere included.
  for (int n = 2; std::filesystem::exists(std::filesystem::symlink_status(file, e)) && n < 1000;
       ++n) {
    file = dir / (name.substr(0, name.size() - 4) + "-" + std::to_string(n) + ".txt");
  }
  return file;
}

void prune_traces(const std::filesystem::path& dir, std::size_t keep,
                  const std::filesystem::path& current) {
  std::vector<std::pair<TraceKey, std::filesystem::path>> traces;
  std::error_code e;
  for (const auto& entry : std::filesystem::directory_iterator(dir, e)) {
    if (!entry.is_regular_file(e) || entry.path() == current) continue;
    if (auto key = trace_key(path_text(entry.path().filename()))) {
      traces.emplace_back(*key, entry.path());
    }
  }
  // `current` is one of the traces kept.
  const std::size_t others_kept = keep > 0 ? keep - 1 : 0;
  if (traces.size() <= others_kept) return;
  std::sort(traces.begin(), traces.end());
  const std::size_t excess = traces.size() - others_kept;
  for (std::size_t i = 0; i < excess; ++i) std::filesystem::remove(traces[i].second, e);
}

}  // namespace tavric
