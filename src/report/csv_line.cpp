#include "report/csv_line.h"

#include <limits>

#include "platform/calendar.h"

namespace tavric::report {
namespace {

constexpr std::size_t kProbeDataFields = 3 + 2 * kDepths;  // probe, date, pairs, volts
constexpr std::size_t kDumpFields = 7 + 2 * kDepths;       // probe, number, date, pairs, four more
constexpr std::size_t kMostFields = kDumpFields;
bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

// The field without the blanks around it. Every field of every line passes here, so it
// is a plain loop rather than a search of a set of characters for each one.
std::string_view without_blanks(std::string_view text) {
  std::size_t from = 0;
  std::size_t to = text.size();
  while (from < to && is_blank(text[from])) ++from;
  while (to > from && is_blank(text[to - 1])) --to;
  return text.substr(from, to - from);
}

// Splits `line` at its commas; false when it has more than `fields.size()` fields.
// One pass over the characters: a search call for each short field would cost more.
bool split(std::string_view line, std::array<std::string_view, kMostFields>& fields,
           std::size_t& count) {
  count = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] != ',') continue;
    if (count == fields.size()) return false;
    fields[count++] = line.substr(start, i - start);
    start = i + 1;
  }
  if (count == fields.size()) return false;
  fields[count++] = line.substr(start);
  return true;
}

std::optional<int> parse_probe_id(std::string_view text) {
  text = without_blanks(text);
  if (text.empty() || text.size() > 6) return std::nullopt;
  int id = 0;
  for (const char c : text) {
    if (!is_digit(c)) return std::nullopt;
    id = id * 10 + (c - '0');
  }
  if (id > 65535) return std::nullopt;
  return id;
}

// A fixed-width group of digits.
std::optional<int> digits(std::string_view text, std::size_t at, std::size_t width) {
  int value = 0;
  for (std::size_t i = at; i < at + width; ++i) {
    if (!is_digit(text[i])) return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

std::optional<Hundredths> parse_hundredths(std::string_view text) {
  text = without_blanks(text);
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  std::int64_t whole = 0;
  std::size_t i = 0;
  std::size_t whole_digits = 0;
  for (; i < text.size() && is_digit(text[i]); ++i, ++whole_digits) {
    if (whole_digits == 7) return std::nullopt;  // far beyond any value of the files
    whole = whole * 10 + (text[i] - '0');
  }
  std::int64_t fraction = 0;  // hundredths
  std::size_t fraction_digits = 0;
  bool round_up = false;
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && is_digit(text[i]); ++i, ++fraction_digits) {
      if (fraction_digits < 2) fraction = fraction * 10 + (text[i] - '0');
      if (fraction_digits == 2) round_up = text[i] >= '5';
    }
    if (fraction_digits == 0) return std::nullopt;  // "3." is a number cut short
  }
  if (i != text.size() || whole_digits + fraction_digits == 0) return std::nullopt;
  if (fraction_digits == 1) fraction *= 10;
  const std::int64_t value = whole * 100 + fraction + (round_up ? 1 : 0);
  return static_cast<Hundredths>(negative ? -value : value);
}

std::optional<Seconds> parse_date_time(std::string_view text) {
  text = without_blanks(text);
  if (text.size() != 19) return std::nullopt;
  const char dash = text[4];
  if ((dash != '/' && dash != '-') || text[7] != dash || text[10] != ' ' || text[13] != ':' ||
      text[16] != ':') {
    return std::nullopt;
  }
  const auto year = digits(text, 0, 4);
  const auto month = digits(text, 5, 2);
  const auto day = digits(text, 8, 2);
  const auto hour = digits(text, 11, 2);
  const auto minute = digits(text, 14, 2);
  const auto second = digits(text, 17, 2);
  if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
  if (*month < 1 || *month > 12 || *day < 1 || *hour > 23 || *minute > 59 || *second > 59) {
    return std::nullopt;
  }
  // A day past the month's end (2023/02/30) would carry over into the next month.
  if (*day > 28 && days_from_civil(*year, *month, *day) >= days_from_civil(*year, *month + 1, 1)) {
    return std::nullopt;
  }
  const std::int64_t seconds =
      seconds_since_2000(LocalDateTime{*year, *month, *day, *hour, *minute, *second});
  if (seconds < std::numeric_limits<Seconds>::min() ||
      seconds > std::numeric_limits<Seconds>::max()) {
    return std::nullopt;
  }
  return static_cast<Seconds>(seconds);
}

std::optional<MarkerLine> parse_marker_line(std::string_view line) {
  // "!  1234 ,CRC error", "?  1234 ,Invalid data  3 ", "!  1234 ,Probe settings".
  if (line.size() < 2 || (line[0] != '!' && line[0] != '?')) return std::nullopt;
  const std::size_t comma = line.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  const auto probe = parse_probe_id(line.substr(1, comma - 1));
  if (!probe) return std::nullopt;
  const std::string_view what = line.substr(comma + 1);
  MarkerLine out{*probe};
  if (line[0] == '!' && what == "CRC error") {
    out.kind = MarkerLine::Kind::CrcError;
  } else if (line[0] == '?' && what.starts_with("Invalid data")) {
    out.kind = MarkerLine::Kind::InvalidData;
  } else if (line[0] == '!' && (what == "Probe settings" || what == "Repeater settings")) {
    out.kind = MarkerLine::Kind::Settings;
  } else {
    return std::nullopt;
  }
  return out;
}

bool is_header_line(std::string_view line) {
  return line.starts_with("Probe,") || line.starts_with("Probe ,");
}

std::optional<ProbeDataLine> parse_probe_data_line(std::string_view line) {
  std::array<std::string_view, kMostFields> fields;
  std::size_t count = 0;
  if (!split(line, fields, count) || count != kProbeDataFields) return std::nullopt;
  ProbeDataLine out;
  const auto probe = parse_probe_id(fields[0]);
  const auto time = parse_date_time(fields[1]);
  if (!probe || !time) return std::nullopt;
  out.probe = *probe;
  out.time = *time;
  for (int depth = 0; depth < kDepths; ++depth) {
    const auto temperature = parse_hundredths(fields[2 + 2 * depth]);
    const auto moisture = parse_hundredths(fields[3 + 2 * depth]);
    if (!temperature || !moisture) return std::nullopt;
    out.temperature[depth] = *temperature;
    out.moisture[depth] = *moisture;
  }
  // The line's last value: a line cut short after its first digit would still read,
  // but the file always writes the voltage with its decimal.
  const std::string_view volts_text = fields[kProbeDataFields - 1];
  const auto volts = parse_hundredths(volts_text);
  if (!volts || volts_text.find('.') == std::string_view::npos) return std::nullopt;
  out.volts = *volts;
  return out;
}

std::optional<DumpLine> parse_dump_line(std::string_view line) {
  std::array<std::string_view, kMostFields> fields;
  std::size_t count = 0;
  if (!split(line, fields, count) || count != kDumpFields) return std::nullopt;
  const auto probe = parse_probe_id(fields[0]);
  const auto time = parse_date_time(fields[2]);
  if (!probe || !time) return std::nullopt;
  DumpLine out;
  out.probe = *probe;
  out.time = *time;
  bool all_zero = true;
  for (std::size_t i = 3; i < 3 + 2 * kDepths; ++i) {
    const auto value = parse_hundredths(fields[i]);
    if (!value) return std::nullopt;
    all_zero = all_zero && *value == 0;
  }
  const auto ambient = parse_hundredths(fields[3 + 2 * kDepths]);
  if (!ambient) return std::nullopt;
  const auto volts = parse_hundredths(fields[4 + 2 * kDepths]);
  if (!volts) return std::nullopt;
  out.ambient = *ambient;
  out.volts = *volts;
  out.all_zero = all_zero && *ambient == 0;
  return out;
}

}  // namespace tavric::report
