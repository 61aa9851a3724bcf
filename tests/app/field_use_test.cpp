#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "readings/kept_lines.h"
#include "readings/output_folder.h"
#include "session/exit_status.h"
#include "sim/endless_bytes.h"
#include "sim/legacy_server.h"
#include "sim/v5_server.h"
#include "tests/app/launch_fixture.h"

// Whole runs as the field has them: installed, scheduled, interrupted, on a bad line.
namespace tavric {
namespace {

namespace fs = std::filesystem;
using launchtest::OptionLaunch;
using launchtest::v5_with;
using runtest::clean_records;
using runtest::Launch;

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(FieldUse, OutputFolderIsMadeWithItsParentsBeforeThePortOpens) {
  // The runs are made once the output folder is set, as the program makes its run.
  Launch l;
  const fs::path nested = l.host.output_dir / "share" / "RNQ7";
  l.host.platform.output_dir = nested;
  sim::V5Server server(v5_with(3));
  l.host.line.attach(1, server);
  DownloadRun run(l.host.platform);
  EXPECT_EQ(tmr_Timer(run).value_or(-1), kExitCompleted);
  EXPECT_EQ(read_file(nested / "Tavric Dumps/Dump00.csv").empty(), false);

  Launch blocked;  // a file stands where a parent folder should be
  std::ofstream(blocked.host.output_dir / "share");
  blocked.host.platform.output_dir = blocked.host.output_dir / "share" / "RNQ7";
  DownloadRun blocked_run(blocked.host.platform);
  EXPECT_EQ(tmr_Timer(blocked_run).value_or(-1), kExitOutputFailed);
  EXPECT_EQ(blocked.host.line.open_count(), 0);
  ASSERT_EQ(blocked.message_titles(), std::vector<std::string>{"ERROR"});
  EXPECT_NE(blocked.host.dialogs.messages()[0].text.find("Cannot make the output folder"),
            std::string::npos);
}

// Zeros, noise or start bytes without end: each attempt fails as on a silent line, and
// the whole search costs about what it costs on a silent line.
TEST(FieldUse, ALineThatNeverGoesQuietEndsLikeASilentOne) {
  OptionLaunch silent;
  silent.options.unattended = true;
  EXPECT_EQ(silent.run(), kExitNoComms);
  const MonoTime silent_cost = silent.host.clock.monotonic();
  for (const auto kind : {sim::EndlessBytes::Kind::Zeros, sim::EndlessBytes::Kind::Noise,
                          sim::EndlessBytes::Kind::StartBytes}) {
    OptionLaunch l;
    l.options.unattended = true;
    sim::EndlessBytes line(kind);
    l.host.line.attach(1, line);
    EXPECT_EQ(l.run(), kExitNoComms);
    EXPECT_LT(l.host.clock.monotonic() - silent_cost, std::chrono::milliseconds(300))
        << static_cast<int>(kind);
  }
}

TEST(FieldUse, ALegacyServerLeftAt56000IsFoundAndReturnedTo9600) {
  Launch l;
  sim::LegacyServer::Config c;
  c.records = clean_records(4 * 3);
  c.baud = 56000;
  sim::LegacyServer server(c);
  l.host.line.attach(1, server);
  EXPECT_EQ(l.run(), kExitCompleted);
  EXPECT_EQ(l.dump_lines().size(), 13U);
  EXPECT_EQ(server.clear_count(), 1);
  EXPECT_EQ(server.baud(), 9600);
  // The date request and the return to 9600 bit/s went out at 56000, the rest at 9600.
  const auto& r = server.requests();
  ASSERT_GE(r.size(), 3U);
  EXPECT_EQ(std::vector({r[0].command, r[0].baud, r[1].command, r[1].baud, r[2].baud}),
            std::vector({9, 56000, 14, 56000, 9600}));
  EXPECT_EQ(r[1].args[0], 0);
}

// A rotation step that fails leaves every older dump where it was and keeps the store.
TEST(FieldUse, ARotationThatFailsDestroysNoDump) {
  Launch l;
  const fs::path dumps = l.host.output_dir / "Tavric Dumps";
  fs::create_directories(dumps);
  for (int i : {0, 1, 2}) std::ofstream(dumps / ("Dump0" + std::to_string(i) + ".csv")) << i;
  l.host.files.fail("rename", "Dump02.csv", std::errc::no_space_on_device);
  sim::V5Server server(v5_with(4));
  l.host.line.attach(1, server);
  EXPECT_EQ(l.run(), kExitOutputFailed);
  EXPECT_EQ(server.clear_count(), 0);
  EXPECT_EQ(read_file(dumps / "Dump00.csv") + read_file(dumps / "Dump01.csv") +
                read_file(dumps / "Dump03.csv"),
            "012");
  EXPECT_FALSE(fs::exists(dumps / "Dump02.csv"));
}

// Another run holds the output folder: a person waits with the event line saying why;
// a scheduled run gives up after its wait, touching nothing.
TEST(FieldUse, OneRunAtATimePerOutputFolder) {
  OptionLaunch scheduled;
  scheduled.options.unattended = true;
  scheduled.options.folder_wait_s = 30;
  std::error_code e;
  auto other = scheduled.host.files.try_lock(scheduled.host.output_dir / kFolderLockFile, e);
  ASSERT_TRUE(other);
  const MonoTime start = scheduled.host.clock.monotonic();
  EXPECT_EQ(scheduled.run(), kExitFolderBusy);
  EXPECT_EQ(scheduled.host.clock.monotonic() - start, std::chrono::seconds(30));
  EXPECT_EQ(scheduled.host.line.open_count(), 0);
  EXPECT_TRUE(scheduled.said("Folder In Use: Another download run kept the output folder"));

  Launch person;
  sim::V5Server server(v5_with(2));
  person.host.line.attach(1, server);
  other = person.host.files.try_lock(person.host.output_dir / kFolderLockFile, e);
  person.host.window.at(person.host.clock.monotonic() + std::chrono::minutes(20),
                        [&] { other.reset(); });
  EXPECT_EQ(person.run(), kExitCompleted);
  EXPECT_TRUE(person.shown("Waiting for another download run to finish with " +
                           person.host.output_dir.string() + " ..."));
  EXPECT_EQ(server.clear_count(), 1);
}

TEST(FieldUse, AppendingStartsOnAFreshLine) {
  for (const std::string end : {"", "\r"}) {
    Launch l;
    std::ofstream(l.host.output_dir / "Tavric Probe Data.csv") << "Probe, Date\r\nhand edit" + end;
    sim::V5Server server(v5_with(1));
    l.host.line.attach(1, server);
    EXPECT_EQ(l.run(), kExitCompleted);
    const auto lines = l.probe_lines();
    ASSERT_EQ(lines.size(), 3U);
    EXPECT_EQ(lines[1], "hand edit");
    EXPECT_EQ(lines[2].substr(5, 2), ", ") << lines[2];  // a reading's line of its own
  }
}

// The readings a run wrote before it kept the store (a lost link, a closed window)
// come again in the next run: they go to its dump, but not a second time to the probe
// data file.
TEST(FieldUse, NoReadingAppendedTwice) {
  for (const bool closed : {false, true}) {
    Launch first;
    auto c = v5_with(12);
    c.faults.dies_after = 1 + 5;  // the status, then five readings
    sim::V5Server server(c);
    first.host.line.attach(1, server);
    if (closed) {
      first.host.window.when(
          [&] { return first.host.window.event_text() == "Loading reading 6/12"; },
          [&] { first.host.window.close(); });
    }
    EXPECT_EQ(first.run(), closed ? kExitClosed : kExitNoComms);
    EXPECT_EQ(first.probe_lines().size(), 1U + 5);

    Launch second;  // on the first one's files
    testhost::copy_tree(first.host.output_dir, second.host.output_dir);
    auto again = v5_with(12);
    sim::V5Server whole(again);
    second.host.line.attach(1, whole);
    EXPECT_EQ(second.run(), kExitCompleted);
    const auto probe = second.probe_lines();
    EXPECT_EQ(probe.size(), 1U + 12);
    EXPECT_EQ(std::set(probe.begin(), probe.end()).size(), probe.size());
    EXPECT_EQ(second.dump_lines().size(), 1U + 12);
    EXPECT_FALSE(fs::exists(second.host.output_dir / kKeptLinesFile));  // the store is empty
  }
}

}  // namespace
}  // namespace tavric
