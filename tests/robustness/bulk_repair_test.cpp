#include <gtest/gtest.h>

#include "session/exit_status.h"
#include "sim/v5_server.h"
#include "tests/app/run_fixture.h"
#include "tests/robustness/rig.h"

namespace tavric::robustness {
namespace {

constexpr int kReadings = 200;

// A v5 "Hi" launch whose stream damages every 20th frame (5 %).
struct DamagedStream {
  explicit DamagedStream(int dies_after = 0) {
    launch.host.settings.set("Speed", "1");
    sim::V5Server::Config c;
    c.records = runtest::clean_records(kReadings, 21);
    c.buffer_size = 256;
    c.write_pointer = 150;  // the readings wrap round the end of the store
    for (int n = 20; n <= kReadings; n += 20) c.faults.damaged_frames.insert(n);
    c.faults.dies_after = dies_after;
    records = c.records;
    server = std::make_unique<sim::V5Server>(c);
    launch.host.line.attach(1, *server);
  }

  std::vector<int> repaired_slots() const {
    std::vector<int> slots;
    for (const auto& r : server->requests()) {
      if (r.command == 19) slots.push_back(r.args.at(0) * 256 + r.args.at(1));
    }
    return slots;
  }

  std::string violation() const {
    return check_invariant(
        reading_lines(records), launch.host.read_output("Tavric Dumps/Dump00.csv"),
        launch.host.read_output("Tavric Probe Data.csv"), server->clear_count() > 0);
  }

  runtest::Launch launch;
  std::vector<sim::Record> records;
  std::unique_ptr<sim::V5Server> server;
};

TEST(BulkRepair, FivePercentDamagedFramesAreFetchedAgainAndTheStoreCleared) {
  DamagedStream d;
  EXPECT_EQ(d.launch.run(), kExitCompleted);
  EXPECT_EQ(d.server->clear_count(), 1);
  EXPECT_EQ(d.violation(), "");
  EXPECT_EQ(d.launch.probe_lines().size(), kReadings + 1U);
  EXPECT_EQ(d.launch.dump_lines().size(), kReadings + 1U);
  // Frame n holds slot ReadPointer + n - 1, wrapping at the store's end: 206 - 256 = -50.
  std::vector<int> expected;
  for (int n = 20; n <= kReadings; n += 20) expected.push_back((256 - 50 + n - 1) % 256);
  EXPECT_EQ(d.repaired_slots(), expected);
}

TEST(BulkRepair, ARepairThatFailsKeepsTheStore) {
  // Status and bulk request answered, then three repairs; the fourth finds a dead line.
  DamagedStream d(2 + 3);
  EXPECT_EQ(d.launch.run(), kExitNoComms);
  EXPECT_EQ(d.server->clear_count(), 0);
  EXPECT_EQ(d.server->new_readings(), kReadings);
  EXPECT_EQ(d.violation(), "");
  EXPECT_EQ(d.launch.probe_lines().size(), kReadings - 10 + 3 + 1U);
  EXPECT_EQ(d.launch.message_titles(), std::vector<std::string>{"NO COMMS"});
}

}  // namespace
}  // namespace tavric::robustness
