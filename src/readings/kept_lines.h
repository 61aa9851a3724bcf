#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "platform/run_log.h"

namespace tavric {

// A run that keeps the server's store after appending readings to the probe data file
// will see those readings again in the next run. Which bytes of the probe data file
// such runs appended is recorded beside it, so that the next run appends none of those
// lines a second time. The dump files, one per run, are not concerned.
inline constexpr const char* kKeptLinesFile = "Tavric Probe Data.kept";

// One run's appended bytes [from, to) as the record keeps them; an open range (a run
// appending, or killed while it did) has no end and no digest yet.
struct KeptRange {
  std::uintmax_t from = 0;
  std::optional<std::uintmax_t> to;
  std::uint64_t digest = 0;
};

// The ranges of a record's text; nothing when the text is not a record as a run writes
// it (emptied, garbled, cut short).
std::optional<std::vector<KeptRange>> ParseKeptRecord(std::string_view text);

// The probe data lines that runs which kept the server's store appended already: each is
// skipped once when its reading comes again. And where this run's appending began.
class KeptLines {
 public:
  KeptLines(FileSystem& files, std::filesystem::path folder, RunLog* log)
      : files_(files), dir_(std::move(folder)), log_(log) {}

  // Before this run appends its first reading at byte `start` of the probe data file:
  // takes the lines of the ranges earlier runs recorded (those the file still holds
  // unchanged) and records that this run appends from `start` on, so that a run killed
  // on the way is covered too. A record that is there but cannot be used is said in a
  // warning, and the last lines of the probe data file are taken instead.
  void Load(std::uintmax_t start);

  // True when `line` (with its line end) is a line a kept run appended: it is then not
  // to be appended again, and counts as used.
  bool Take(std::string_view line);

  // After the probe data file is closed at `end` bytes: records what this run appended.
  void RecordAppended(std::uintmax_t end);

  // After the server confirmed that its store is empty: no recorded reading can come
  // again, and the record goes.
  void Forget();

 private:
  FileSystem& files_;
  std::filesystem::path dir_;
  RunLog* log_;
  std::unordered_multiset<std::string> lines_;
  std::optional<std::uintmax_t> append_start_;
};

}  // namespace tavric
