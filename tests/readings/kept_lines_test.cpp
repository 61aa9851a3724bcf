#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "readings/kept_lines.h"
#include "readings/output_files.h"
#include "session/exit_status.h"
#include "sim/v5_server.h"
#include "tests/app/launch_fixture.h"

namespace tavric {
namespace {

namespace fs = std::filesystem;
using runtest::Launch;

// A record is read back only as a run writes it: anything else is no record.
TEST(KeptLines, RecordTextIsTakenOnlyWhole) {
  const std::string heading =
      "# Bytes of \"Tavric Probe Data.csv\" appended by runs that left their readings on the "
      "server:\n# from, to and FNV-1a digest; \"-\" while a run is appending.\n";
  const auto ranges = ParseKeptRecord(heading + "117 900 00000000000000ff\n900 -\n");
  ASSERT_TRUE(ranges.has_value());
  ASSERT_EQ(ranges->size(), 2U);
  EXPECT_EQ((*ranges)[0].to, 900U);
  EXPECT_EQ((*ranges)[0].digest, 0xFFU);
  EXPECT_FALSE((*ranges)[1].to.has_value());
  for (const std::string& damaged :
       {std::string(), heading.substr(0, 40), heading + "117 900 00000000000000ff",
        heading + "117 900 0ff\n", heading + "900 117 00000000000000ff\n",
        heading + "117 900 00000000000000fg\n", heading + "x -\n", heading + "\n"}) {
    EXPECT_FALSE(ParseKeptRecord(damaged).has_value()) << damaged;
  }
}

// A run that kept the store (the link lost after 5 of 12 readings), then a record that
// was emptied, garbled, grown or made unreadable: the next run says so, and still
// appends none of the 5 a second time.
TEST(KeptLines, ADamagedRecordIsSaidAndStillNoLineIsAppendedTwice) {
  Launch first;
  auto c = launchtest::v5_with(12);
  c.faults.dies_after = 1 + 5;  // the status, then five readings
  sim::V5Server server(c);
  first.host.line.attach(1, server);
  EXPECT_EQ(first.run(), kExitNoComms);
  const fs::path record = first.host.output_dir / kKeptLinesFile;
  ASSERT_TRUE(fs::is_regular_file(record));

  const std::vector<std::function<void(const fs::path&)>> damage = {
      [](const fs::path& r) { std::ofstream(r, std::ios::trunc); },
      [](const fs::path& r) { std::ofstream(r, std::ios::trunc) << "\x01garbage\n0 zz\n"; },
      [](const fs::path& r) {
        std::ofstream(r, std::ios::app) << std::string(2 << 20, '#') << "\n";
      },
#ifndef _WIN32                 // Wine makes no symbolic links
      [](const fs::path& r) {  // a link in its place is not read
        fs::rename(r, r.string() + ".elsewhere");
        fs::create_symlink(r.string() + ".elsewhere", r);
      },
#endif
  };
  for (std::size_t i = 0; i < damage.size(); ++i) {
    launchtest::OptionLaunch second;  // on the first one's files, its notes in `trace`
    testhost::copy_tree(first.host.output_dir, second.host.output_dir);
    damage[i](second.host.output_dir / kKeptLinesFile);
    sim::V5Server whole(launchtest::v5_with(12));
    second.host.line.attach(1, whole);
    EXPECT_EQ(second.run(), kExitCompleted) << i;
    std::vector<std::string> probe;
    std::istringstream text(second.host.read_output(kProbeDataFile));
    for (std::string line; std::getline(text, line);) probe.push_back(line);
    EXPECT_EQ(probe.size(), 1U + 12) << i;
    EXPECT_EQ(std::set(probe.begin(), probe.end()).size(), probe.size()) << i;
    EXPECT_TRUE(second.trace.has("warning: the record of lines kept back")) << i;
  }
}

}  // namespace
}  // namespace tavric
