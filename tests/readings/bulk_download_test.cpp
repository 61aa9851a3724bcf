#include <gtest/gtest.h>

#include <map>

#include "readings/bulk_download.h"
#include "readings/fetch.h"
#include "sim/record_generator.h"
#include "sim/v5_server.h"
#include "tests/readings/readings_test_support.h"

namespace tavric {
namespace {

using namespace testing;  // NOLINT
using std::chrono::milliseconds;

struct Dumped {
  bool answered;  // the link held
  std::vector<std::string> lines;
};

Dumped DumpFour(Bench& b) {  // the four readings of a store of 1000 slots
  b.status.WritePointer = 4;
  b.status.NewReadings = 4;
  b.status.BufferSize = 1000;
  const bool answered = DumpAll(b.line, b.out, b.status).answered;
  return {answered, b.DumpLines()};
}

TEST(DumpAll, StreamWritesWhatTheOneByOneFetchWritesBarMarkers) {
  sim::GeneratorOptions options;
  options.mix.bad_check = 0;
  options.mix.kind0 = 0;  // kind 0 carries no check, so the stream never takes it
  options.mix.settings = options.mix.invalid = 100;
  sim::V5Server::Config config;
  config.write_pointer = 360;
  config.records = sim::RecordGenerator(options).take(60);
  sim::V5Server bulk_server(config), single_server(config);
  Bench bulk(bulk_server), single(single_server);
  bulk.status.ReadPointer = 300;
  bulk.status.NewReadings = 60;
  const DumpResult result = DumpAll(bulk.line, bulk.out, bulk.status);
  for (int slot = 300; slot < 360; ++slot) GetReading(single.line, single.out, slot);
  auto fetched = single.DumpLines();
  std::erase_if(fetched, [](const std::string& l) { return l[0] == '!' || l[0] == '?'; });
  ASSERT_LT(fetched.size(), 60U);  // the mix holds settings and invalid kinds
  EXPECT_EQ(bulk.DumpLines(), fetched);
  EXPECT_EQ(bulk.probe(), single.probe());
  EXPECT_TRUE(result.answered);
  ASSERT_EQ(bulk_server.requests().size(), 1U);
  EXPECT_EQ(bulk_server.requests()[0].args, (Bytes{0x01, 0x86, 0xD0, 0x34, 0x01, 0x2C, 0x00}));
}

// Answers the bulk request, then sends `pieces` at their times after the request;
// answers single readings from its four slots when `singles`.
struct ScriptedStream : ScriptedServer {
  ScriptedStream() {
    on_request = [this](const sim::ParsedRequest& r, MonoTime at) {
      Bytes data = r.command == 4 ? Bytes{0, 4} : r.args;
      if (r.command == 19)
        data.insert(data.end(), slots[r.args[1]].begin(), slots[r.args[1]].end());
      if (r.command == 4 || singles) line->send(V5Reply(r.command, data), at + milliseconds(20));
      for (const auto& [after, bytes] : r.command == 4 ? pieces : decltype(pieces){}) {
        line->send(bytes, at + after);
      }
    };
    for (Byte unit = 0; unit < 4; ++unit) {
      slots[unit] = kKind1;
      slots[unit][1] = 0, slots[unit][2] = unit + 1;
      if (unit == 2) slots[unit][20] = 0x4F, slots[unit][21] = 0x4E;  // a boundary mark
      slots[unit] = Sealed(slots[unit]);
    }
  }
  // Frame `n` with slot n's record, numbered `number` when that is given.
  void Frame(int after_ms, Byte n, Byte end = 0x4F, Bytes lead = {}, int number = -1) {
    lead.insert(lead.end(), {0x4E, 0, static_cast<Byte>(number < 0 ? n : number)});
    lead.insert(lead.end(), slots[n - 1].begin(), slots[n - 1].end());
    lead.push_back(end);
    pieces.emplace_back(milliseconds(after_ms), lead);
  }

  std::vector<std::pair<MonoTime, Bytes>> pieces;
  std::map<int, RecordBytes> slots;
  bool singles = true;
};

TEST(DumpAll, ParserSurvivesNoiseBadEndBytesInnerMarksAndShortGaps) {
  ScriptedStream server;
  server.Frame(100, 1, 0x4F, {0x4F, 0x12, 0x00});  // after noise
  server.Frame(200, 2, 0x00);                      // a bad end byte
  server.Frame(300, 3);                            // cut short by the mark inside
  server.Frame(5200, 4);                           // after a gap of 4.9 seconds
  Bench b(server);
  const Dumped d = DumpFour(b);
  std::string units;
  for (const auto& line : d.lines) units += line.substr(0, line.find(','));
  // 2 and 3 are damaged; 4, with no intact neighbour to vouch for its number, is taken as
  // damaged too: all three are fetched singly after the stream.
  EXPECT_EQ(units, "1234");
  // The stream's frames, then the three single fetches.
  EXPECT_EQ(b.host.window.progress_history(), (std::vector<int>{25, 50, 100, 33, 66, 100}));
  EXPECT_TRUE(d.answered);
}

// When the first single fetch went out: the stream had ended by then.
MonoTime FirstSingleFetch(const Bench& b) {
  for (const auto& chunk : b.host.line.sent()) {
    if (chunk.bytes.size() > 5 && chunk.bytes[0] == 0x5E && chunk.bytes[5] == 19) return chunk.at;
  }
  return MonoTime::max();
}

std::string Units(const std::vector<std::string>& lines) {
  std::string units;
  for (const auto& line : lines) units += line.substr(0, line.find(','));
  return units;
}

// The last frame ends the stream where it arrives, even when the frame before it failed
// its check (as every kind-0 reading does), and an unproven slot is fetched at once.
// A frame whose number was flipped to the last one arrives too early to end it.
TEST(DumpAll, TheStreamEndsAtItsLastFrameAndNotBefore) {
  ScriptedStream server;
  server.Frame(100, 1);
  server.Frame(200, 2);
  server.Frame(300, 3);  // cut short by the mark inside
  server.Frame(400, 4);
  Bench b(server);
  const MonoTime start = b.host.clock.monotonic();
  const Dumped d = DumpFour(b);
  EXPECT_EQ(Units(d.lines), "1234");
  EXPECT_LT(b.host.clock.monotonic() - start, std::chrono::seconds(1));
  EXPECT_TRUE(d.answered);

  ScriptedStream early;
  early.Frame(100, 1);
  early.Frame(200, 2, 0x4F, {}, 4);  // slot 2's record under the last number
  early.Frame(300, 3);
  early.Frame(400, 4);
  Bench e(early);
  const MonoTime sent = e.host.clock.monotonic();
  // The stream went on past the false last frame to the true one; the slots after the
  // cut frame were fetched singly after that.
  EXPECT_EQ(Units(DumpFour(e).lines), "1234");
  EXPECT_GE(FirstSingleFetch(e) - sent, milliseconds(400));
}

// A path slower than the line that never pauses for 5 seconds brings its whole stream;
// a line that never goes quiet still ends within a few seconds.
TEST(DumpAll, ASlowStreamIsWaitedForAndAnEndlessOneIsNot) {
  sim::V5Server::Config config;
  config.buffer_size = 4000;
  config.write_pointer = 2000;
  config.records = sim::RecordGenerator(sim::GeneratorOptions{}).take(2000);
  for (auto& r : config.records) r = Sealed(kKind1);
  sim::add_fault(config.faults, "slow-stream");
  sim::V5Server slow(config);
  Bench b(slow);
  b.status.WritePointer = 2000;
  b.status.NewReadings = 2000;
  b.status.BufferSize = 4000;
  const DumpResult result = DumpAll(b.line, b.out, b.status);
  EXPECT_TRUE(result.answered);
  EXPECT_EQ(result.missing, 0);
  EXPECT_EQ(slow.commands(), std::vector<int>{4});  // nothing fetched singly
  EXPECT_EQ(slow.frames_sent(), 2000);

  ScriptedStream endless;
  endless.pieces.emplace_back(milliseconds(100), Bytes(1'000'000, 0x4E));
  endless.singles = false;
  Bench e(endless);
  const MonoTime start = e.host.clock.monotonic();
  EXPECT_TRUE(DumpFour(e).lines.empty());
  EXPECT_LT(FirstSingleFetch(e) - start, std::chrono::seconds(5));
}

TEST(DumpAll, SilenceEndsTheTransferAndKeepsTheStore) {
  ScriptedStream broken;
  broken.singles = false;
  broken.Frame(100, 1);
  broken.Frame(5200, 2);  // after five seconds of silence
  Bench b(broken);
  const Dumped d = DumpFour(b);
  EXPECT_EQ(d.lines.size(), 1U);
  EXPECT_FALSE(d.answered);

  ScriptedStream quiet;  // answers, then never streams
  Bench q(quiet);
  const MonoTime start = q.host.clock.monotonic();
  const Dumped none = DumpFour(q);
  EXPECT_TRUE(none.lines.empty());
  EXPECT_FALSE(none.answered);
  EXPECT_GE(q.host.clock.monotonic() - start, std::chrono::seconds(5));
}

TEST(DumpAll, UnformableRequestsAreNotSent) {
  ScriptedStream server;
  Bench b(server);
  b.host.clock.set_local(LocalDateTime{1999, 12, 31, 23, 59, 0});  // no two-digit year
  const Dumped d = DumpFour(b);
  EXPECT_TRUE(d.lines.empty());
  EXPECT_FALSE(d.answered);
  EXPECT_TRUE(b.host.line.sent().empty());
}

}  // namespace
}  // namespace tavric
