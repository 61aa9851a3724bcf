#include "readings/kept_lines.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <vector>

#include "readings/output_files.h"

namespace tavric {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kReadPiece = 1 << 16;
constexpr const char* kHeading =
    "# Bytes of \"Tavric Probe Data.csv\" appended by runs that left their readings on the "
    "server:\n# from, to and FNV-1a digest; \"-\" while a run is appending.\n";

using Range = KeptRange;

// A record holds a line per run that kept the store; far more than any folder collects.
constexpr std::uintmax_t kRecordLimit = 1 << 20;
// Without a usable record, this much of the end of the probe data file is compared with
// the readings: more than the lines of any store.
constexpr std::uintmax_t kTailLimit = 16 << 20;

// The folder the record and the probe data file are in, and where notes go.
struct Folder {
  FileSystem& files;
  const fs::path& dir;
  RunLog* log;
};

fs::path record_file(const Folder& f) {
  return f.dir / kKeptLinesFile;
}
fs::path probe_file(const Folder& f) {
  return f.dir / kProbeDataFile;
}

std::uint64_t fnv1a(std::uint64_t h, std::string_view bytes) {
  for (const char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001B3ULL;
  }
  return h;
}
constexpr std::uint64_t kFnvStart = 0xCBF29CE484222325ULL;

std::optional<std::uintmax_t> number(std::string_view text) {
  std::uintmax_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return v;
}

// The record, or why it cannot be used; no record at all is no damage.
struct Record {
  std::vector<Range> ranges;
  std::string damage;
};

Record read_record(const Folder& f) {
  Record record;
  std::error_code e;
  const std::uintmax_t size = f.files.file_size(record_file(f), e);
  if (e) {
    if (e != std::errc::no_such_file_or_directory) record.damage = "cannot be read: " + e.message();
    return record;
  }
  if (size > kRecordLimit) {
    record.damage = "is too large (" + std::to_string(size) + " bytes)";
    return record;
  }
  const std::string text = f.files.read(record_file(f), 0, static_cast<std::size_t>(size), e);
  if (e || text.size() != size) {
    record.damage = "cannot be read: " + (e ? e.message() : std::string("it changed meanwhile"));
    return record;
  }
  auto ranges = ParseKeptRecord(text);
  if (!ranges) {
    record.damage = text.empty() ? "is empty" : "is garbled";
    return record;
  }
  record.ranges = std::move(*ranges);
  return record;
}

// Writes the record whole or not at all: a new file, made durable, then renamed over the
// old one.
void write_record(const Folder& f, const std::vector<Range>& ranges) {
  FileSystem& files = f.files;
  if (ranges.empty()) {
    if (files.is_regular_file(record_file(f))) (void)files.remove(record_file(f));
    return;
  }
  std::string text = kHeading;
  for (const Range& r : ranges) {
    char line[80];
    if (r.to) {
      std::snprintf(line, sizeof line, "%ju %ju %016llx\n", r.from, *r.to,
                    static_cast<unsigned long long>(r.digest));
    } else {
      std::snprintf(line, sizeof line, "%ju -\n", r.from);
    }
    text += line;
  }
  fs::path fresh = record_file(f);
  fresh += ".new";
  std::error_code e;
  auto out = files.open(fresh, OpenMode::Replace, e);
  if (out) {
    e = out->write(text);
    if (!e) e = out->sync();
    const std::error_code closed = out->close();
    if (!e) e = closed;
  }
  if (!e) e = files.rename(fresh, record_file(f));
  // A record not written whole is not left behind beside the old one.
  if (e && files.is_regular_file(fresh)) (void)files.remove(fresh);
  if (!e) e = files.sync_directory(f.dir);
  // Without the record the next run may append these readings again: a duplicate, never
  // a loss, so the run goes on.
  if (e) log_note(f.log, "kept-lines record cannot be written: " + e.message());
}

// Calls `each_line` for every line of bytes [from, to) of the probe data file, and gives
// the digest of those bytes; nothing when they cannot be read.
template <typename EachLine>
std::optional<std::uint64_t> scan(const Folder& f, std::uintmax_t from, std::uintmax_t to,
                                  EachLine&& each_line) {
  std::uint64_t digest = kFnvStart;
  std::string carry;
  for (std::uintmax_t at = from; at < to;) {
    std::error_code e;
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uintmax_t>(kReadPiece, to - at));
    const std::string piece = f.files.read(probe_file(f), at, want, e);
    if (e || piece.size() != want) return std::nullopt;
    digest = fnv1a(digest, piece);
    at += want;
    carry += piece;
    std::size_t start = 0;
    for (std::size_t nl; (nl = carry.find('\n', start)) != std::string::npos; start = nl + 1) {
      each_line(std::string_view(carry).substr(start, nl + 1 - start));
    }
    carry.erase(0, start);
  }
  if (!carry.empty()) each_line(std::string_view(carry));
  return digest;
}

// The last lines before byte `end` of the probe data file, as the lines an earlier run
// may have appended; a line cut by the start of the piece read is left out.
void take_last_lines(const Folder& f, std::uintmax_t end,
                     std::unordered_multiset<std::string>& lines) {
  const std::uintmax_t from = end > kTailLimit ? end - kTailLimit : 0;
  bool first = from > 0;
  scan(f, from, end, [&](std::string_view line) {
    if (!first) lines.emplace(line);
    first = false;
  });
}

}  // namespace

std::optional<std::vector<KeptRange>> ParseKeptRecord(std::string_view text) {
  if (!text.starts_with(kHeading) || !text.ends_with('\n')) return std::nullopt;
  std::vector<Range> ranges;
  for (std::size_t at = std::string_view(kHeading).size(); at < text.size();) {
    const std::size_t end = text.find('\n', at);
    const std::string_view line = text.substr(at, end - at);
    at = end + 1;
    std::vector<std::string_view> parts;
    for (std::size_t p = 0; p <= line.size();) {
      const std::size_t q = std::min(line.find(' ', p), line.size());
      parts.push_back(line.substr(p, q - p));
      p = q + 1;
    }
    Range r;
    const auto from = number(parts[0]);
    if (!from) return std::nullopt;
    r.from = *from;
    if (parts.size() == 2 && parts[1] == "-") {
      ranges.push_back(r);
      continue;
    }
    if (parts.size() != 3 || parts[2].size() != 16) return std::nullopt;
    r.to = number(parts[1]);
    const auto [p, ec] =
        std::from_chars(parts[2].data(), parts[2].data() + parts[2].size(), r.digest, 16);
    if (!r.to || ec != std::errc() || p != parts[2].data() + parts[2].size() || *r.to < r.from) {
      return std::nullopt;
    }
    ranges.push_back(r);
  }
  return ranges;
}

void KeptLines::Load(std::uintmax_t start) {
  const Folder f{files_, dir_, log_};
  lines_.clear();
  std::vector<Range> kept;
  const Record record = read_record(f);
  if (!record.damage.empty()) {
    // Said where a scheduled run's log shows it, not only in the trace.
    log_warning(log_, "the record of lines kept back " + path_text(record_file(f)) + " " +
                          record.damage +
                          "; the last lines of the probe data file are compared with the "
                          "readings instead, so that none is appended twice");
    take_last_lines(f, start, lines_);
  }
  for (Range r : record.ranges) {
    // The lines from a range's start on are in the file, whatever became of them since
    // (edited, cut back): they are compared all the same, but a range that is no longer
    // as it was recorded is not recorded again.
    const std::uintmax_t to = std::min(r.to.value_or(start), start);
    if (r.from >= to) continue;
    const auto digest = scan(f, r.from, to, [&](std::string_view line) { lines_.emplace(line); });
    if (!digest || (r.to && (*r.to != to || *digest != r.digest))) {
      log_note(log_, "kept-lines record: bytes " + std::to_string(r.from) + " to " +
                         std::to_string(r.to.value_or(start)) +
                         " changed since; their lines are compared, no longer recorded");
      continue;
    }
    r.to = to;
    r.digest = *digest;
    kept.push_back(r);
  }
  if (!lines_.empty()) {
    log_note(log_, std::to_string(lines_.size()) +
                       " probe data lines of runs that kept the store will not be appended again");
  }
  append_start_ = start;
  kept.push_back(Range{start, std::nullopt, 0});
  write_record(f, kept);
}

bool KeptLines::Take(std::string_view line) {
  if (lines_.empty()) return false;
  const auto it = lines_.find(std::string(line));
  if (it == lines_.end()) return false;
  lines_.erase(it);
  return true;
}

void KeptLines::RecordAppended(std::uintmax_t end) {
  const Folder f{files_, dir_, log_};
  if (!append_start_) return;
  const std::uintmax_t start = *append_start_;
  append_start_.reset();
  std::vector<Range> ranges;
  for (const Range& r : read_record(f).ranges) {
    if (r.from != start || r.to) ranges.push_back(r);
  }
  if (end > start) {
    if (const auto digest = scan(f, start, end, [](std::string_view) {})) {
      ranges.push_back(Range{start, end, *digest});
    }
  }
  write_record(f, ranges);
}

void KeptLines::Forget() {
  lines_.clear();
  write_record(Folder{files_, dir_, log_}, {});
}

}  // namespace tavric
