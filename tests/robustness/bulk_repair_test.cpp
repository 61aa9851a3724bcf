#include <gtest/gtest.h>

#include "session/exit_status.h"
#include "sim/v5_server.h"
#include "tests/app/run_fixture.h"
#include "tests/robustness/rig.h"

namespace tavric::robustness {
namespace {

// A v5 launch against a server whose store wraps round its end, with the fault plan
// and store shape given.
struct BulkRun {
  explicit BulkRun(const sim::FaultPlan& faults, bool hi = true, int readings = 200,
                   int new_readings = -1, int read_pointer = -1) {
    launch.host.settings.set("Speed", hi ? "1" : "0");
    sim::V5Server::Config c;
    c.records = runtest::clean_records(readings, 21);
    c.buffer_size = 256;
    c.write_pointer = 150;
    c.read_pointer = read_pointer;
    c.new_readings = new_readings;
    c.faults = faults;
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

sim::FaultPlan plan(std::initializer_list<const char*> items) {
  sim::FaultPlan p;
  for (const char* item : items) EXPECT_EQ(sim::add_fault(p, item), "") << item;
  return p;
}

// Damage next to frames whose numbers lie: whatever the stream says, every reading
// ends on disk once and the store is cleared. The number before a damaged frame
// proves nothing about the frame after it.
TEST(BulkRepair, DamagedAndMisnumberedFramesEndWithEveryReadingOnceOnDisk) {
  const struct {
    const char* name;
    std::initializer_list<const char*> faults;
  } cases[] = {
      {"damaged, then the next numbered one below", {"damage-frame=4", "frame-number-low=5"}},
      {"damaged, then the next numbered one above", {"damage-frame=4", "frame-number-high=5"}},
      {"damaged first", {"damage-frame=1"}},
      {"damaged last", {"damage-frame=200"}},
      {"two damaged in a row", {"damage-frame=50,51"}},
      {"three damaged in a row", {"damage-frame=60,61,62"}},
      {"a repeated number with another record", {"frame-number-low=90"}},
      {"a frame sent twice", {"repeat-frame=120"}},
      {"every 20th damaged", {"damage-frame=20,40,60,80,100,120,140,160,180,200"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BulkRun run(plan(c.faults));
    EXPECT_EQ(run.launch.run(), kExitCompleted);
    EXPECT_EQ(run.server->clear_count(), 1);
    EXPECT_EQ(run.violation(), "");
    EXPECT_EQ(run.launch.probe_lines().size(), 200 + 1U);
  }
}

// Frame n holds slot ReadPointer + n - 1, wrapping at the store's end (150 - 200 = -50),
// and the single fetches show their own count.
TEST(BulkRepair, UnprovenSlotsAreFetchedSinglyWithTheirOwnProgress) {
  BulkRun run(plan({"damage-frame=20,40,60"}));
  EXPECT_EQ(run.launch.run(), kExitCompleted);
  EXPECT_EQ(run.repaired_slots(), (std::vector<int>{225, 245, 9}));
  EXPECT_TRUE(run.launch.shown("Loading reading 1/3"));
  EXPECT_TRUE(run.launch.shown("Loading reading 3/3"));
}

TEST(BulkRepair, ARepairThatFailsKeepsTheStoreAndCountsWhatItLeft) {
  // Status and bulk request answered, then three repairs; the fourth finds a dead line.
  sim::FaultPlan faults = plan({"damage-frame=20,40,60,80,100,120,140,160,180,200"});
  faults.dies_after = 2 + 3;
  BulkRun run(faults);
  EXPECT_EQ(run.launch.run(), kExitNoComms);
  EXPECT_EQ(run.server->clear_count(), 0);
  EXPECT_EQ(run.server->new_readings(), 200);
  EXPECT_EQ(run.violation(), "");
  EXPECT_EQ(run.launch.probe_lines().size(), 200 - 10 + 3 + 1U);
  EXPECT_EQ(run.launch.message_titles(), std::vector<std::string>{"NO COMMS"});
  EXPECT_EQ(run.launch.session.missing.MissingCount, 7);
}

// A full store, where the two pointers meet, and a count beyond the pointers' distance:
// every slot the count names is fetched, one by one or streamed and repaired, before
// the store is cleared.
TEST(BulkRepair, EverySlotTheCountNamesIsOnDiskBeforeTheStoreIsCleared) {
  for (const bool hi : {true, false}) {
    SCOPED_TRACE(hi ? "Hi" : "Lo");
    BulkRun full(plan({"damage-frame=30"}), hi, 255, 256, 150);
    EXPECT_EQ(full.launch.run(), kExitCompleted);
    EXPECT_EQ(full.server->clear_count(), 1);
    EXPECT_EQ(full.violation(), "");
    EXPECT_EQ(full.launch.probe_lines().size(), 255 + 1U);

    // 20 slots to the write pointer, 30 counted: the 10 past it are fetched too.
    BulkRun beyond(plan({}), hi, 20, 30);
    EXPECT_EQ(beyond.launch.run(), kExitCompleted);
    EXPECT_EQ(beyond.violation(), "");
    std::vector<int> slots = beyond.repaired_slots();
    if (!hi) slots.erase(slots.begin(), slots.begin() + 20);
    EXPECT_EQ(slots, (std::vector<int>{150, 151, 152, 153, 154, 155, 156, 157, 158, 159}));
  }
}

}  // namespace
}  // namespace tavric::robustness
