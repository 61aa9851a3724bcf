#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/csv_line.h"
#include "report/line_reader.h"
#include "tests/host/test_host.h"

// Reading the probe data file and the dumps: every column, lines cut short, lines a
// person or a spreadsheet edited, and lines that straddle the reader's chunks.
namespace tavric::report {
namespace {

constexpr const char* kWorkedLine =
    "01234, 2012/03/04 14:05:09, 23.5, 012.34, 18.0, 030.00, 18.0, 030.00, 18.0, 030.00, 18.0, "
    "030.00, 18.0, 030.00,3.6";

Seconds at(int y, int mo, int d, int h, int mi, int s) {
  return static_cast<Seconds>(seconds_since_2000(LocalDateTime{y, mo, d, h, mi, s}));
}

TEST(ProbeDataLine, EveryColumnLandsInItsPlace) {
  const auto line = parse_probe_data_line(
      "65535, 2031/11/24 20:15:00, 01.1, 000.01, 02.2, 000.02, 03.3, 000.03, 04.4, 000.04, "
      "-37.9, 327.67, 90.0, 100.00,999.0");
  ASSERT_TRUE(line);
  EXPECT_EQ(line->probe, 65535);
  EXPECT_EQ(line->time, at(2031, 11, 24, 20, 15, 0));
  EXPECT_EQ(line->temperature, (std::array<Hundredths, 6>{110, 220, 330, 440, -3790, 9000}));
  EXPECT_EQ(line->moisture, (std::array<Hundredths, 6>{1, 2, 3, 4, 32767, 10000}));
  EXPECT_EQ(line->volts, 99900);

  const auto worked = parse_probe_data_line(kWorkedLine);
  ASSERT_TRUE(worked);
  EXPECT_EQ(worked->probe, 1234);
  EXPECT_EQ(worked->time, at(2012, 3, 4, 14, 5, 9));
  EXPECT_EQ(worked->moisture[0], 1234);
  EXPECT_EQ(worked->volts, 360);
}

TEST(ProbeDataLine, EveryCutShortLineIsRefused) {
  const std::string whole = kWorkedLine;
  for (std::size_t length = 0; length < whole.size() - 2; ++length) {
    EXPECT_FALSE(parse_probe_data_line(whole.substr(0, length))) << whole.substr(0, length);
  }
  EXPECT_TRUE(parse_probe_data_line(whole));
}

TEST(ProbeDataLine, HandEditedLines) {
  // What a spreadsheet writes back: no leading zeros, ISO dates, more decimals.
  const auto saved = parse_probe_data_line(
      "1234,2012-03-04 14:05:09,23.5,12.34,18,30,18,30,18,30,18,30,18,30.005,3.60");
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->moisture[5], 3001);
  EXPECT_EQ(saved->temperature[1], 1800);
  for (const char* bad : {
           "01234, 2012/02/30 14:05:09, 23.5, 012.34, 18.0, 030.00, 18.0, 030.00, 18.0, 030.00, "
           "18.0, 030.00, 18.0, 030.00,3.6",  // no such day
           "01234, 2012/03/04 24:05:09, 23.5, 012.34, 18.0, 030.00, 18.0, 030.00, 18.0, 030.00, "
           "18.0, 030.00, 18.0, 030.00,3.6",  // no such hour
           "1234a, 2012/03/04 14:05:09, 23.5, 012.34, 18.0, 030.00, 18.0, 030.00, 18.0, 030.00, "
           "18.0, 030.00, 18.0, 030.00,3.6",
           "70000, 2012/03/04 14:05:09, 23.5, 012.34, 18.0, 030.00, 18.0, 030.00, 18.0, 030.00, "
           "18.0, 030.00, 18.0, 030.00,3.6",  // past the largest probe id
           "01234, 2012/03/04 14:05:09, 23.5, 12,34, 18.0, 030.00, 18.0, 030.00, 18.0, 030.00, "
           "18.0, 030.00, 18.0, 030.00,3.6",  // a decimal comma: one field too many
           "01234, 2012/03/04 14:05:09, n/a, 012.34, 18.0, 030.00, 18.0, 030.00, 18.0, 030.00, "
           "18.0, 030.00, 18.0, 030.00,3.6",
           "01234, 2012/03/04 14:05:09, 23.5, 012.34, 18.0, 030.00, 18.0, 030.00, 18.0, 030.00, "
           "18.0, 030.00, 18.0, 030.00,3.6,",
           "01234, 2012/03/04 14:05:09, 23.5, 012.34, 18.0, 030.00, 18.0, 030.00, 18.0, 030.00, "
           "18.0, 030.00, 18.0, 030.00,3",  // the voltage cut before its decimal
       }) {
    EXPECT_FALSE(parse_probe_data_line(bad)) << bad;
  }
  EXPECT_TRUE(is_header_line(
      "Probe, Date               ,Temp1,Water%1,Temp2,Water%2,Temp3,Water%3,Temp4,Water%4,Temp5,"
      "Water%5,Temp6,Water%6,Volts"));
  EXPECT_TRUE(is_header_line("Probe ,RecNo,Date               ,T1,SM1"));
}

TEST(Hundredths, RoundsHalvesAwayFromZero) {
  EXPECT_EQ(parse_hundredths("0.995"), 100);
  EXPECT_EQ(parse_hundredths("-1.905"), -191);
  EXPECT_EQ(parse_hundredths("-1.9"), -190);
  EXPECT_EQ(parse_hundredths(" .5 "), 50);
  for (const char* bad : {"", "-", ".", "3.", "1.2.3", "+1", "1e3", "12345678"}) {
    EXPECT_FALSE(parse_hundredths(bad)) << bad;
  }
}

TEST(DumpLine, AmbientTemperatureAndEntriesWithoutValues) {
  const auto reading = parse_dump_line(
      "1234,  17 ,2012/03/04 14:05:00,23.50,12.34,18.00,30.00,18.00,30.00,18.00,30.00,18.00,"
      "30.00,18.00,30.00,-1.00,3.6,,");
  ASSERT_TRUE(reading);
  EXPECT_EQ(reading->probe, 1234);
  EXPECT_EQ(reading->time, at(2012, 3, 4, 14, 5, 0));
  EXPECT_EQ(reading->ambient, -100);
  EXPECT_EQ(reading->volts, 360);
  EXPECT_FALSE(reading->all_zero);

  const auto entry = parse_dump_line(
      "77,  3 ,2012/03/04 14:05:00,0.00,0.00,0.00,0.00,0.00,0.00,0.00,0.00,0.00,0.00,0.00,0.00,"
      "0.00,3.6,,");
  ASSERT_TRUE(entry);
  EXPECT_TRUE(entry->all_zero);

  EXPECT_FALSE(parse_dump_line("!  1234 ,CRC error"));
  EXPECT_FALSE(parse_dump_line("?  1234 ,Invalid data  3 "));
}

TEST(DumpLine, MarkersOfRecordsWithoutAReading) {
  using Kind = MarkerLine::Kind;
  const std::vector<std::pair<const char*, std::optional<std::pair<int, Kind>>>> cases = {
      {"!  1234 ,CRC error", {{1234, Kind::CrcError}}},
      {"!  0 ,CRC error", {{0, Kind::CrcError}}},
      {"?  65535 ,Invalid data  15 ", {{65535, Kind::InvalidData}}},
      {"!  77 ,Probe settings", {{77, Kind::Settings}}},
      {"!  77 ,Repeater settings", {{77, Kind::Settings}}},
      {"?  77 ,CRC error", std::nullopt},
      {"!  77 ,CRC errors", std::nullopt},
      {"!  70000 ,CRC error", std::nullopt},
      {"!  x ,CRC error", std::nullopt},
      {"!", std::nullopt},
  };
  for (const auto& [line, expected] : cases) {
    const auto marker = parse_marker_line(line);
    ASSERT_EQ(marker.has_value(), expected.has_value()) << line;
    if (!marker) continue;
    EXPECT_EQ(marker->probe, expected->first) << line;
    EXPECT_EQ(marker->kind, expected->second) << line;
  }
}

struct Seen {
  std::string text;
  bool ended;
  bool overlong;
};

std::vector<Seen> stored_lines(const std::string& content) {
  testhost::TestHost host;
  const auto file = host.output_dir / "lines.csv";
  std::error_code e;
  auto out = host.files.open(file, OpenMode::Replace, e);
  out->write(content);
  out->close();
  std::vector<Seen> lines;
  EXPECT_FALSE(for_each_line(host.files, file, [&](const TextLine& l) {
    lines.push_back({std::string(l.text), l.ended, l.overlong});
  }));
  return lines;
}

TEST(LineReader, LineEndsChunksAndOverlongLines) {
  auto lines = stored_lines("a\r\nb\n\r\nc");
  ASSERT_EQ(lines.size(), 4U);
  EXPECT_EQ(lines[1].text, "b");
  EXPECT_EQ(lines[2].text, "");
  EXPECT_TRUE(lines[2].ended);
  EXPECT_EQ(lines[3].text, "c");
  EXPECT_FALSE(lines[3].ended);  // cut short

  // Lines across the reader's 1 MiB chunks come whole; a line with no end in sight is
  // handed on as overlong, and the lines after it read as before.
  std::string big;
  while (big.size() < (3U << 20)) big += std::string(kWorkedLine) + "\r\n";
  big += std::string(10000, 'x') + "\r\nlast\r\n";
  lines = stored_lines(big);
  ASSERT_GT(lines.size(), 2U);
  for (std::size_t i = 0; i + 2 < lines.size(); ++i) ASSERT_EQ(lines[i].text, kWorkedLine) << i;
  EXPECT_TRUE(lines[lines.size() - 2].overlong);
  EXPECT_EQ(lines.back().text, "last");
  EXPECT_FALSE(lines.back().overlong);
}

}  // namespace
}  // namespace tavric::report
