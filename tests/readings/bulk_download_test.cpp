#include <gtest/gtest.h>

#include <algorithm>

#include "platform/run_control.h"
#include "readings/bulk_download.h"
#include "readings/fetch.h"
#include "readings/low_battery.h"
#include "readings/output_files.h"
#include "sim/record_generator.h"
#include "sim/v5_server.h"
#include "tests/readings/readings_test_support.h"

namespace tavric {
namespace {

using std::chrono::milliseconds;
using testing::Bench;
using testing::V5Reply;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
    out.push_back(text.substr(at, end - at));
  }
  return out;
}

std::vector<std::string> Fetch(Bench& b, std::int32_t first, std::int32_t count, bool bulk) {
  PrepareOutputFiles(b.s);
  b.s.ReadPointer = first;
  b.s.NewReadings = count;
  b.s.BufferSize = 1000;
  if (bulk) DumpAll(b.s);
  for (std::int32_t i = 0; !bulk && i < count; ++i) GetReading(b.s, first + i);
  CloseOutputFiles(b.s);
  return Lines(b.dump());
}

sim::V5Server::Config Store(std::vector<sim::Record> records, sim::FaultPlan faults = {}) {
  sim::V5Server::Config c;
  c.write_pointer = 300 + static_cast<int>(records.size());
  c.records = std::move(records);
  c.faults = std::move(faults);
  return c;
}

TEST(DumpAll, StreamWritesWhatTheOneByOneFetchWritesBarMarkers) {
  sim::GeneratorOptions options;
  options.mix.bad_check = 0;
  options.mix.kind0 = 0;  // kind 0 carries no check, so the stream never takes it
  const auto records = sim::RecordGenerator(options).take(60);
  sim::V5Server bulk_server(Store(records)), single_server(Store(records));
  Bench bulk(bulk_server), single(single_server);
  const auto streamed = Fetch(bulk, 300, 60, true);
  auto fetched = Fetch(single, 300, 60, false);
  std::erase_if(fetched, [](const std::string& l) { return l[0] == '!' || l[0] == '?'; });
  ASSERT_LT(fetched.size(), 60U);  // the mix holds settings and invalid kinds
  EXPECT_EQ(streamed, fetched);
  EXPECT_EQ(bulk.probe(), single.probe());
  EXPECT_EQ(LowBatteryText(bulk.s), LowBatteryText(single.s));
  EXPECT_FALSE(LowBatteryText(bulk.s).empty());
  EXPECT_FALSE(bulk.s.NoComms);
  EXPECT_EQ(bulk_server.requests().size(), 1U);
  EXPECT_EQ(bulk_server.requests()[0].args, (Bytes{0x01, 0x86, 0xD0, 0x34, 0x01, 0x2C, 0x00}));
  EXPECT_EQ(bulk.host.window.event_text(), "Loading readings ... 60/60.");
  EXPECT_EQ(bulk.host.window.progress(), 100);
}

TEST(DumpAll, MissingFramesAreFetchedSinglyOrTheStoreIsKept) {
  const auto records = sim::RecordGenerator({.mix = sim::RecordMix::clean()}).take(10);
  sim::FaultPlan faults;
  faults.damaged_frames = {2};
  faults.dropped_frames = {5};
  faults.stream_breaks_after = 8;
  sim::V5Server server(Store(records, faults));
  Bench b(server);
  auto lines = Fetch(b, 300, 10, true);
  EXPECT_FALSE(b.s.NoComms);
  EXPECT_EQ(server.commands(), (std::vector<int>{4, 19, 19, 19, 19}));
  sim::V5Server reference_server(Store(records));
  Bench reference(reference_server);
  auto expected = Fetch(reference, 300, 10, false);
  std::sort(lines.begin(), lines.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(lines, expected);

  faults.dies_after = 1;  // no single fetch gets through
  sim::V5Server dying_server(Store(records, faults));
  Bench dying(dying_server);
  EXPECT_EQ(Fetch(dying, 300, 10, true).size(), 1U + 6);
  EXPECT_TRUE(dying.s.NoComms);
}

// A server that answers the bulk request and then sends `pieces`, each at its own
// time after the request; single readings are answered from `slots` when `singles`.
struct ScriptedStream {
  ScriptedStream() {
    server.on_request = [this](const sim::ParsedRequest& r, MonoTime at) {
      if (r.command == 4) {
        server.send(V5Reply(4, {0, 4}), at + milliseconds(20));
        for (const auto& [after, bytes] : pieces) server.send(bytes, at + after);
      } else if (r.command == 19 && singles) {
        Bytes data = r.args;
        const RecordBytes& record = slots.at(r.args[1]);
        data.insert(data.end(), record.begin(), record.end());
        server.send(V5Reply(19, data), at + milliseconds(20));
      }
    };
  }
  void Frame(MonoTime after, int n, int slot, Byte end = 0x4F, Bytes lead = {}) {
    lead.insert(lead.end(), {0x4E, 0, static_cast<Byte>(n)});
    lead.insert(lead.end(), slots[slot].begin(), slots[slot].end());
    lead.push_back(end);
    pieces.emplace_back(after, lead);
  }

  testing::ScriptedServer server{sim::RequestParser::Generation::V5};
  std::vector<std::pair<MonoTime, Bytes>> pieces;
  std::map<int, RecordBytes> slots;
  bool singles = true;
};

RecordBytes Unit(int id, bool inner_mark = false) {
  RecordBytes b = testing::kKind1;
  b[1] = 0;
  b[2] = static_cast<Byte>(id);
  if (inner_mark) b[20] = 0x4F, b[21] = 0x4E;  // reads as a frame boundary
  return testing::Sealed(b);
}

std::string IdOf(const std::string& line) {
  return line.substr(0, line.find(','));
}

TEST(DumpAll, ParserSurvivesNoiseBadEndBytesInnerMarksAndShortGaps) {
  ScriptedStream script;
  for (int slot = 0; slot < 4; ++slot) script.slots[slot] = Unit(slot + 1, slot == 2);
  script.Frame(milliseconds(100), 1, 0, 0x4F, {0x4F, 0x12, 0x00});  // after noise
  script.Frame(milliseconds(200), 2, 1, 0x00);                      // a bad end byte
  script.Frame(milliseconds(300), 3, 2);                            // cut short inside
  script.Frame(milliseconds(5200), 4, 3);                           // after a 4.9 s gap
  Bench b(script.server);
  const auto lines = Fetch(b, 0, 4, true);
  EXPECT_FALSE(b.s.NoComms);
  std::vector<std::string> ids;
  for (std::size_t i = 1; i < lines.size(); ++i) ids.push_back(IdOf(lines[i]));
  EXPECT_EQ(ids, (std::vector<std::string>{"1", "4", "2", "3"}));
  EXPECT_EQ(b.host.window.progress_history(), (std::vector<int>{25, 50, 100}));
}

TEST(DumpAll, SilenceEndsTheTransferAndKeepsTheStore) {
  ScriptedStream script;
  script.singles = false;
  script.slots[0] = script.slots[1] = Unit(7);
  script.Frame(milliseconds(100), 1, 0);
  script.Frame(milliseconds(5200), 2, 1);  // after five seconds of silence
  Bench b(script.server);
  EXPECT_EQ(Fetch(b, 0, 4, true).size(), 2U);
  EXPECT_TRUE(b.s.NoComms);

  ScriptedStream quiet;  // answers, then never streams
  Bench q(quiet.server);
  const MonoTime start = q.host.clock.monotonic();
  EXPECT_EQ(Fetch(q, 0, 4, true).size(), 1U);
  EXPECT_TRUE(q.s.NoComms);
  EXPECT_EQ(quiet.server.requests.size(), 1U);
  EXPECT_GE(q.host.clock.monotonic() - start, std::chrono::seconds(5));
}

TEST(DumpAll, RequestsThatCannotBeFormedAreNotSent) {
  ScriptedStream script;
  Bench b(script.server);
  b.s.NewReadings = 4;
  b.s.ReadPointer = 65536;
  DumpAll(b.s);
  EXPECT_TRUE(b.s.NoComms);
  b.s.NoComms = false;
  b.s.ReadPointer = 0;
  b.host.clock.set_local(LocalDateTime{1999, 12, 31, 23, 59, 0});
  DumpAll(b.s);
  EXPECT_TRUE(b.s.NoComms);
  EXPECT_TRUE(b.host.line.sent().empty());
}

TEST(DumpAll, ClosingTheWindowEndsTheTransfer) {
  ScriptedStream script;
  Bench b(script.server);
  b.host.window.at(b.host.clock.monotonic() + std::chrono::seconds(2),
                   [&] { b.host.window.close(); });
  b.s.NewReadings = 4;
  EXPECT_THROW(DumpAll(b.s), WindowClosed);
}

}  // namespace
}  // namespace tavric
