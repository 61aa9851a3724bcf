#include <gtest/gtest.h>

#include "app/stages.h"
#include "session/exit_status.h"
#include "sim/legacy_server.h"
#include "sim/v5_server.h"
#include "tests/app/run_fixture.h"

namespace tavric {
namespace {

using runtest::clean_records;
using runtest::Launch;

sim::V5Server::Config v5_config(int readings, int buffer_size = 1000, int write_pointer = -1) {
  sim::V5Server::Config c;
  c.records = clean_records(readings);
  c.buffer_size = buffer_size;
  c.write_pointer = write_pointer >= 0 ? write_pointer : readings % buffer_size;
  return c;
}

// Every reading the server held in the run is in both files, once, and the store is empty.
void expect_complete_v5_run(const Launch& l, const sim::V5Server& server, int readings) {
  EXPECT_EQ(l.dump_lines().size(), static_cast<std::size_t>(readings + 1));
  EXPECT_EQ(l.probe_lines().size(), static_cast<std::size_t>(readings + 1));
  EXPECT_EQ(server.new_readings(), 0);
  EXPECT_EQ(server.clear_count(), 1);
  EXPECT_EQ(server.clock_sets().size(), 1U);
  EXPECT_TRUE(l.host.dialogs.messages().empty());
}

// "Lo" fetches one by one (here wrapping from slot 999 to 0), "Hi" in one bulk transfer.
// Under "Lo" the user picks "Hi" half way: the download goes on one by one, and the
// option is saved as the user left it.
TEST(DownloadRun, V5ServerFetchesEverythingThenSetsClockAndClears) {
  for (const bool hi : {false, true}) {
    Launch l;
    l.host.settings.set("Speed", hi ? "1" : "0");
    const int readings = hi ? 300 : 40;
    sim::V5Server server(v5_config(readings, 1000, hi ? -1 : 10));
    l.host.line.attach(1, server);
    l.host.window.when([&] { return l.host.window.event_text() == "Loading reading 20/40"; },
                       [&] { l.host.window.set_speed_hi(true); });
    EXPECT_EQ(l.run(), kExitCompleted);
    expect_complete_v5_run(l, server, readings);
    const auto commands = server.commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), 19), hi ? 0 : readings);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), 4), hi ? 1 : 0);
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), 9);
    EXPECT_TRUE(l.shown(hi ? "Loading readings ... 300/300." : "Loading reading 40/40"));
    EXPECT_TRUE(l.shown("Server readings cleared"));
    EXPECT_EQ(l.host.settings.get("Speed", ""), "1");
    EXPECT_FALSE(l.host.line.is_open());
    EXPECT_FALSE(l.host.window.timer_running());
  }
}

// The bar shows the share of blocks up to the one being loaded, as its line appears.
TEST(DownloadRun, LegacyServerLoAndHiFetchEveryBlock) {
  for (const bool hi : {false, true}) {
    Launch l;
    l.host.settings.set("Speed", hi ? "1" : "0");
    sim::LegacyServer::Config c;
    c.records = clean_records(4 * 12);
    sim::LegacyServer server(c);
    l.host.line.attach(1, server);
    std::vector<int> progress;
    for (int i = 1; i <= 12; ++i) {
      l.host.window.when(
          [&, i] {
            return l.host.window.event_text() == "Loading reading " + std::to_string(i) + "/12";
          },
          [&] { progress.push_back(l.host.window.progress()); });
    }
    EXPECT_EQ(l.run(), kExitCompleted) << hi;
    EXPECT_EQ(progress, (std::vector<int>{8, 16, 25, 33, 41, 50, 58, 66, 75, 83, 91, 100}));
    EXPECT_EQ(l.dump_lines().size(), 49U);
    EXPECT_EQ(l.probe_lines().size(), 49U);
    EXPECT_EQ(server.clear_count(), 1);
    EXPECT_EQ(server.clock_sets().size(), 2U);  // date and time of day
    const auto commands = server.commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), 0), 12);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), 14), hi ? 3 : 0);
    EXPECT_EQ(server.baud(), 9600);
    EXPECT_EQ(l.host.line.client_baud(), 9600);
    if (hi) {
      // The blocks travelled at 56000 bit/s.
      for (const auto& r : server.requests()) {
        if (r.command == 0) {
          EXPECT_EQ(r.baud, 56000);
        }
      }
    }
  }
}

TEST(DownloadRun, NoServerAsksForAnotherPortUntilOneAnswers) {
  Launch l;
  sim::V5Server server(v5_config(5));
  l.host.line.attach(3, server);
  l.host.dialogs.answer("3");
  EXPECT_EQ(l.run(), kExitCompleted);
  ASSERT_EQ(l.host.dialogs.prompts().size(), 1U);
  const auto& prompt = l.host.dialogs.prompts()[0];
  EXPECT_EQ(prompt.title, "No Comms");
  EXPECT_EQ(prompt.default_text, "1");
  EXPECT_EQ(prompt.text,
            "Cannot connect to server, no comms.\rMake sure the server is plugged in and is "
            "switched on. Also make sure that the correct serial port number is specified.");
  // Port 1 at 9600, at 56000 for a legacy server left there, at 9600 again; then port 3.
  EXPECT_EQ(l.host.line.opened_ports(), (std::vector<int>{1, 1, 1, 3}));
  EXPECT_EQ(l.host.settings.get("Port", ""), "3");
  expect_complete_v5_run(l, server, 5);
}

TEST(DownloadRun, NoServerEndsWhenTheUserGivesUp) {
  for (std::optional<std::string> answer :
       {std::optional<std::string>("abc"), std::optional<std::string>("0"),
        std::optional<std::string>()}) {
    Launch l;
    l.host.dialogs.answer(answer);
    EXPECT_EQ(l.run(), kExitNoComms);
    EXPECT_EQ(l.host.line.open_count(), 3);  // 9600, 56000 and back to 9600
    EXPECT_TRUE(l.host.dialogs.messages().empty());
    // A silent port costs the legacy cycle, the v5 attempts, one legacy request at
    // 56000 bit/s and the modem probe.
    EXPECT_TRUE(l.shown("No comms ..."));
    EXPECT_TRUE(l.shown("Cannot load server status, no comms."));
  }
}

// A reload counts back from the write pointer, wrapping round the store's start; one of
// the store's size or more fetches all it holds, the 99 slots that end just before the
// write pointer.
TEST(DownloadRun, ReloadStartsBackFromTheWritePointerAndWraps) {
  for (const auto& [answer, hi, fetched] :
       {std::tuple{"10", false, 10}, {"250", false, 99}, {"250", true, 99}}) {
    Launch l;
    l.host.settings.set("Speed", hi ? "1" : "0");
    auto c = v5_config(100, 100, 5);
    c.read_pointer = 5;
    sim::V5Server server(c);
    l.host.line.attach(1, server);
    l.host.dialogs.answer(answer);
    EXPECT_EQ(l.run(), kExitCompleted);
    EXPECT_EQ(l.session.status.NewReadings, fetched);
    EXPECT_EQ(l.dump_lines().size(), fetched + 1U);
    EXPECT_EQ(server.clear_count(), 1);
    if (fetched == 10) {
      std::vector<int> slots;
      for (const auto& r : server.requests()) {
        if (r.command == 19) slots.push_back(r.args.at(0) * 256 + r.args.at(1));
      }
      EXPECT_EQ(slots, (std::vector<int>{95, 96, 97, 98, 99, 0, 1, 2, 3, 4}));
    }
  }
}

TEST(DownloadRun, LegacyReloadCountsNoFurtherThanTheLastBlockThatCanBeAsked) {
  Launch l;
  sim::LegacyServer::Config c;  // an empty store: nothing new
  c.faults.dies_after = 3 + 1;
  sim::LegacyServer server(c);
  l.host.line.attach(1, server);
  l.host.dialogs.answer("2147483647");
  // The status says nothing is new; the reload asks for more blocks than exist.
  EXPECT_EQ(l.run(), kExitNoComms);
  ASSERT_FALSE(l.host.window.event_history().empty());
  EXPECT_EQ(l.host.window.event_history().back(), "Loading reading 32704/32704");
}

TEST(DownloadRun, LinkLostMidDownloadKeepsTheStoreAndSaysNoComms) {
  Launch l;
  sim::LegacyServer::Config c;
  c.records = clean_records(4 * 20);
  c.faults.dies_after = 3 + 6;  // three status requests, then six blocks
  sim::LegacyServer server(c);
  l.host.line.attach(1, server);
  EXPECT_EQ(l.run(), kExitNoComms);
  EXPECT_TRUE(l.shown("Loading reading 20/20"));
  EXPECT_EQ(l.dump_lines().size(), 1U + 6 * 4);
  EXPECT_EQ(server.clear_count(), 0);
  EXPECT_TRUE(server.clock_sets().empty());
  ASSERT_EQ(l.message_titles(), std::vector<std::string>{"NO COMMS"});
  EXPECT_EQ(l.host.dialogs.messages()[0].text,
            "The data download could not be completed. The communications to the server has "
            "been lost.");
}

TEST(DownloadRun, UnwritableOutputKeepsTheStoreAndSaysWhy) {
  Launch l;
  l.host.files.fail("open", "Dump00.csv", std::errc::read_only_file_system);
  sim::V5Server server(v5_config(8));
  l.host.line.attach(1, server);
  EXPECT_EQ(l.run(), kExitOutputFailed);
  EXPECT_EQ(server.clear_count(), 0);
  EXPECT_EQ(server.new_readings(), 8);
  EXPECT_EQ(server.clock_sets().size(), 1U);
  ASSERT_EQ(l.message_titles(), std::vector<std::string>{"ERROR"});
  const std::string& text = l.host.dialogs.messages()[0].text;
  EXPECT_NE(text.find("Dump00.csv"), std::string::npos) << text;
  EXPECT_NE(text.find("Read-only file system"), std::string::npos) << text;
  EXPECT_NE(text.find("left on the server"), std::string::npos) << text;
}

TEST(DownloadRun, ClosingTheWindowStopsEverythingAtOnce) {
  Launch l;
  sim::V5Server server(v5_config(30));
  l.host.line.attach(1, server);
  std::size_t sent = 0;
  l.host.window.when([&] { return l.host.window.event_text() == "Loading reading 5/30"; },
                     [&] {
                       sent = l.host.line.sent().size();
                       l.host.window.close();
                     });
  EXPECT_EQ(l.run(), kExitClosed);
  const auto commands = server.commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), 19), 4);
  EXPECT_EQ(server.clear_count(), 0);
  EXPECT_FALSE(l.host.line.is_open());
  EXPECT_EQ(l.host.line.sent().size(), sent);
  EXPECT_EQ(l.dump_lines().size(), 5U);  // header and four whole lines
  EXPECT_EQ(l.host.settings.get("Speed", ""), "0");
}

TEST(DownloadRun, LowBatteriesAreReportedAtTheEnd) {
  Launch l;
  sim::Reading low;
  low.probe_id = 17;
  low.battery_code = 7;  // 3.1 V
  auto c = v5_config(3);
  c.records.push_back(sim::encode_kind1(low));
  c.write_pointer = 4;
  sim::V5Server server(c);
  l.host.line.attach(1, server);
  EXPECT_EQ(l.run(), kExitCompleted);
  ASSERT_EQ(l.message_titles(), std::vector<std::string>{"Low Batteries"});
  EXPECT_EQ(l.host.dialogs.messages()[0].text,
            "The following units have low battery readings:\r17 (3.1V)");
}

TEST(DownloadRun, ImpossibleStoreDescriptionFetchesNothingAndKeepsTheStore) {
  for (const auto& [size, read, write] : {std::tuple{0, 0, 0}, std::tuple{-5, 0, 0},
                                          std::tuple{100, 100, 5}, std::tuple{100, 5, -1}}) {
    Launch l;
    sim::V5Server server(v5_config(10, 100, 10));
    l.host.line.attach(1, server);
    l.host.line.set_comm_port(1);
    std::string error;
    ASSERT_TRUE(l.host.line.open(error));
    DownloadRun& run = l.session;
    run.link.NoComms = false;
    run.status.BufferSize = size;
    run.status.ReadPointer = read;
    run.status.WritePointer = write;
    run.status.NewReadings = 0;  // not even the reload prompt may come
    RunStages(run, false);
    const auto commands = server.commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), 19), 0);
    EXPECT_EQ(server.clear_count(), 0);
    EXPECT_EQ(server.clock_sets().size(), 1U);
    ASSERT_EQ(l.message_titles(), std::vector<std::string>{"ERROR"});
    EXPECT_FALSE(std::filesystem::exists(l.host.output_dir / "Tavric Dumps"));
  }
}

}  // namespace
}  // namespace tavric
