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

// One run's appended bytes [from, to); an open range (a run appending, or killed while
// it did) has no end and no digest yet.
struct Range {
  std::uintmax_t from = 0;
  std::optional<std::uintmax_t> to;
  std::uint64_t digest = 0;
};

fs::path record_file(const Session& s) {
  return s.p.output_dir / kKeptLinesFile;
}
fs::path probe_file(const Session& s) {
  return s.p.output_dir / kProbeDataFile;
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

// The ranges of the record; lines it cannot read are passed over.
std::vector<Range> read_record(Session& s) {
  std::vector<Range> ranges;
  std::error_code e;
  const std::uintmax_t size = s.p.files.file_size(record_file(s), e);
  if (e) return ranges;
  const std::string text = s.p.files.read(record_file(s), 0, static_cast<std::size_t>(size), e);
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    const std::string_view line(text.data() + at, end - at);
    at = end + 1;
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string_view> parts;
    for (std::size_t p = 0; p <= line.size();) {
      const std::size_t q = std::min(line.find(' ', p), line.size());
      parts.push_back(line.substr(p, q - p));
      p = q + 1;
    }
    Range r;
    const auto from = number(parts[0]);
    if (!from) continue;
    r.from = *from;
    if (parts.size() == 2 && parts[1] == "-") {
      ranges.push_back(r);
    } else if (parts.size() == 3) {
      r.to = number(parts[1]);
      std::uint64_t digest = 0;
      const auto [p, ec] =
          std::from_chars(parts[2].data(), parts[2].data() + parts[2].size(), digest, 16);
      if (!r.to || ec != std::errc() || *r.to < r.from) continue;
      r.digest = digest;
      ranges.push_back(r);
    }
  }
  return ranges;
}

// Writes the record whole or not at all: a new file, made durable, then renamed over the
// old one.
void write_record(Session& s, const std::vector<Range>& ranges) {
  FileSystem& files = s.p.files;
  if (ranges.empty()) {
    if (files.is_regular_file(record_file(s))) (void)files.remove(record_file(s));
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
  fs::path fresh = record_file(s);
  fresh += ".new";
  std::error_code e;
  auto out = files.open(fresh, OpenMode::Replace, e);
  if (out) {
    e = out->write(text);
    if (!e) e = out->sync();
    const std::error_code closed = out->close();
    if (!e) e = closed;
  }
  if (!e) e = files.rename(fresh, record_file(s));
  // A record not written whole is not left behind beside the old one.
  if (e && files.is_regular_file(fresh)) (void)files.remove(fresh);
  if (!e) e = files.sync_directory(s.p.output_dir);
  // Without the record the next run may append these readings again: a duplicate, never
  // a loss, so the run goes on.
  if (e) log_note(s.p.log, "kept-lines record cannot be written: " + e.message());
}

// Calls `each_line` for every line of bytes [from, to) of the probe data file, and gives
// the digest of those bytes; nothing when they cannot be read.
template <typename EachLine>
std::optional<std::uint64_t> scan(Session& s, std::uintmax_t from, std::uintmax_t to,
                                  EachLine&& each_line) {
  std::uint64_t digest = kFnvStart;
  std::string carry;
  for (std::uintmax_t at = from; at < to;) {
    std::error_code e;
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uintmax_t>(kReadPiece, to - at));
    const std::string piece = s.p.files.read(probe_file(s), at, want, e);
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

}  // namespace

void LoadKeptLines(Session& s, std::uintmax_t start) {
  s.KeptLines.clear();
  std::vector<Range> kept;
  for (Range r : read_record(s)) {
    // A range the file no longer holds as it was (edited, cut back) is dropped: only a
    // line that really is in the file may be skipped.
    const std::uintmax_t to = r.to.value_or(start);
    if (r.from >= to || to > start) continue;
    std::vector<std::string> texts;
    const auto digest =
        scan(s, r.from, to, [&](std::string_view line) { texts.emplace_back(line); });
    if (!digest || (r.to && *digest != r.digest)) {
      log_note(s.p.log, "kept-lines record: bytes " + std::to_string(r.from) + " to " +
                            std::to_string(to) + " changed since; not used");
      continue;
    }
    for (std::string& t : texts) s.KeptLines.insert(std::move(t));
    r.to = to;
    r.digest = *digest;
    kept.push_back(r);
  }
  if (!s.KeptLines.empty()) {
    log_note(s.p.log,
             std::to_string(s.KeptLines.size()) +
                 " probe data lines of runs that kept the store will not be appended again");
  }
  s.ProbeAppendStart = start;
  kept.push_back(Range{start, std::nullopt, 0});
  write_record(s, kept);
}

bool TakeKeptLine(Session& s, std::string_view line) {
  if (s.KeptLines.empty()) return false;
  const auto it = s.KeptLines.find(std::string(line));
  if (it == s.KeptLines.end()) return false;
  s.KeptLines.erase(it);
  return true;
}

void RecordAppendedLines(Session& s, std::uintmax_t end) {
  if (!s.ProbeAppendStart) return;
  const std::uintmax_t start = *s.ProbeAppendStart;
  s.ProbeAppendStart.reset();
  std::vector<Range> ranges;
  for (const Range& r : read_record(s)) {
    if (r.from != start || r.to) ranges.push_back(r);
  }
  if (end > start) {
    if (const auto digest = scan(s, start, end, [](std::string_view) {})) {
      ranges.push_back(Range{start, end, *digest});
    }
  }
  write_record(s, ranges);
}

void ForgetKeptLines(Session& s) {
  s.KeptLines.clear();
  write_record(s, {});
}

}  // namespace tavric
