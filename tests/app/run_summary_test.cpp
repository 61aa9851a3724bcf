#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/run_summary.h"
#include "session/exit_status.h"
#include "sim/legacy_server.h"
#include "sim/v5_server.h"
#include "tests/app/run_fixture.h"

// The summary a run leaves in the trace and on a scheduled run's standard output: what
// was found, fetched, written and where, the store, the clock, the batteries, the page.
namespace tavric {
namespace {

using runtest::clean_records;
using runtest::Launch;
using runtest::v5_with;

struct Notes : RunLog {
  void note(const std::string& text) override { lines.push_back(text); }
  std::vector<std::string> lines;
};

std::string path_of(const Launch& l, const std::filesystem::path& relative) {
  return path_text(l.host.output_dir / relative);
}

TEST(RunSummary, AWholeRunNamesServerCountsStoreClockAndFiles) {
  Notes notes;
  Launch l(&notes);
  l.host.clock.set_local({2012, 3, 4, 14, 1, 5});
  sim::V5Server::Config c;
  c.records = clean_records(12);
  c.write_pointer = 12;
  c.clock = {2012, 3, 4, 11, 1, 5};  // three hours behind the computer
  // A probe data file of an earlier run: only this run's lines count.
  {
    std::ofstream earlier(l.host.output_dir / "Tavric Probe Data.csv", std::ios::binary);
    earlier << "header\r\nearlier line\r\n";
  }
  sim::V5Server server(c);
  l.host.line.attach(1, server);
  ASSERT_EQ(l.run(), kExitCompleted);

  ASSERT_EQ(l.session.RunSummary.size(), 2U);
  EXPECT_EQ(l.session.RunSummary[0],
            "v5 server direct on port 1: 12 records fetched, 12 readings written; store cleared; "
            "server clock set (it was 3 h behind); low batteries: none");
  EXPECT_EQ(l.session.RunSummary[1],
            "dump file: " + path_of(l, std::filesystem::path("Tavric Dumps") / "Dump00.csv") +
                "; probe data file: " + path_of(l, "Tavric Probe Data.csv") +
                "; chart page: " + path_of(l, "Tavric Probe Data.html"));
  // The trace has it too, after everything else the run noted.
  ASSERT_GE(notes.lines.size(), 2U);
  EXPECT_EQ(notes.lines.back(), "summary: " + l.session.RunSummary[1]);

  std::ostringstream out;
  PrintRunSummary(l.session.RunSummary, out);
  EXPECT_EQ(out.str(), "probe-server-dump: " + l.session.RunSummary[0] +
                           "\nprobe-server-dump: " + l.session.RunSummary[1] + "\n");
}

TEST(RunSummary, AKeptStoreSaysWhyAndARunWithoutServerSaysSo) {
  Launch kept;
  kept.host.settings.set("Speed", "1");
  sim::LegacyServer::Config c;
  c.records = clean_records(4 * 10);
  c.faults.silent = {7, 8, 9, 10};  // block 2 unanswered through a whole cycle
  sim::LegacyServer server(c);
  kept.host.line.attach(1, server);
  ASSERT_EQ(kept.run(), kExitReadingsKept);
  ASSERT_EQ(kept.session.RunSummary.size(), 2U);
  const std::string& first = kept.session.RunSummary[0];
  EXPECT_EQ(first.rfind("legacy server direct on port 1: 4 records fetched, 4 readings written; "
                        "store kept: 9 blocks of readings could not be fetched; server clock set",
                        0),
            0U)
      << first;

  // A window closed while a reading's request awaits its answer: the link is not
  // confirmed, and the store is said to be kept for that; closed between two exchanges,
  // the link held.
  for (const bool mid_exchange : {true, false}) {
    Launch closed;
    sim::V5Server v5(v5_with(30));
    closed.host.line.attach(1, v5);
    closed.host.window.when(
        [&] {
          return mid_exchange ? v5.commands().size() == 6
                              : closed.host.window.event_text() == "Loading reading 5/30";
        },
        [&] { closed.host.window.close(); });
    ASSERT_EQ(closed.run(), kExitClosed);
    EXPECT_NE(closed.session.RunSummary[0].find(
                  mid_exchange ? "store kept: the link to the server was lost"
                               : "store kept: the run was ended before it was cleared"),
              std::string::npos)
        << closed.session.RunSummary[0];
  }

  Launch none;
  none.host.dialogs.answer(std::nullopt);  // no other port
  ASSERT_EQ(none.run(), kExitNoComms);
  EXPECT_EQ(none.session.RunSummary,
            (std::vector<std::string>{"no server found (port 1); store untouched",
                                      "dump file: none; probe data file: not added to; chart "
                                      "page: none"}));
}

}  // namespace
}  // namespace tavric
