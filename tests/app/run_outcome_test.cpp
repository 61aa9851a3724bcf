#include <gtest/gtest.h>

#include <set>

#include "session/exit_status.h"
#include "sim/legacy_server.h"
#include "sim/v5_server.h"
#include "tests/app/run_fixture.h"

// What a whole run does with the readings it could not bring, and with the line speed
// and the clock it leaves behind.
namespace tavric {
namespace {

using runtest::clean_records;
using runtest::Launch;

sim::V5Server::Config v5_config(int readings, int buffer_size = 1000) {
  sim::V5Server::Config c;
  c.records = clean_records(readings);
  c.buffer_size = buffer_size;
  c.write_pointer = readings % buffer_size;
  return c;
}

// A v5 server whose stream is tampered with on its way: frame `from` goes out numbered
// `to`, as a bit flipped on the line would have it; or, with `merge` frames, the stream
// goes out in one piece once that many frames are together, so that the reads of it do
// not fall on frame boundaries.
class StreamTamper : public sim::LineDevice, sim::LineEnd {
 public:
  StreamTamper(sim::V5Server& server, int from, int to, int merge = 0)
      : server_(server), from_(from), to_(to), merge_(merge) {}
  void attach(sim::LineEnd& line) override {
    line_ = &line;
    server_.attach(*this);
  }
  void receive(ByteView bytes, MonoTime at) override { server_.receive(bytes, at); }
  MonoTime now() const override { return line_->now(); }
  void send(ByteView bytes, MonoTime at) override {
    Bytes b(bytes.begin(), bytes.end());
    const bool frame = b.size() == 36 && b[0] == 0x4E && b[35] == 0x4F;
    if (frame && b[1] * 256 + b[2] == from_) {
      b[1] = static_cast<Byte>(to_ >> 8);
      b[2] = static_cast<Byte>(to_);
    }
    if (!frame || merge_ == 0) return line_->send(b, at);
    held_.insert(held_.end(), b.begin(), b.end());
    if (++frames_ == merge_) line_->send(held_, at);
  }
  void set_device_baud(int baud, MonoTime from) override { line_->set_device_baud(baud, from); }
  void drop_queued() override { line_->drop_queued(); }

 private:
  sim::V5Server& server_;
  int from_;
  int to_;
  int merge_;
  int frames_ = 0;
  Bytes held_;
  sim::LineEnd* line_ = nullptr;
};

// Frame 2 numbered 3, or numbered 4 (the last), must not pass for slots 3 or 4: every
// reading ends on disk once, and only then is the store cleared.
TEST(RunOutcome, BulkFrameNumbersAreNoProofOfDelivery) {
  for (const int wrong : {3, 4}) {
    Launch l;
    l.host.settings.set("Speed", "1");
    sim::V5Server server(v5_config(4));
    StreamTamper line(server, 2, wrong);
    l.host.line.attach(1, line);
    EXPECT_EQ(l.run(), kExitCompleted) << wrong;
    const auto probe = l.probe_lines();
    EXPECT_EQ(probe.size(), 5U) << wrong;
    EXPECT_EQ(std::set(probe.begin(), probe.end()).size(), probe.size()) << wrong;
    EXPECT_EQ(l.dump_lines().size(), 5U) << wrong;
    EXPECT_EQ(server.clear_count(), 1) << wrong;
  }
}

// A clean stream ends with its last frame, which comes short of a whole read: the run
// goes on at once, not after the silence wait.
TEST(RunOutcome, AStreamEndsWithItsLastFrame) {
  Launch l;
  l.host.settings.set("Speed", "1");
  l.host.line.set_chunk_size(7);  // reads of 42 bytes: the last frame comes short of one
  sim::V5Server server(v5_config(30));
  StreamTamper line(server, 0, 0, 30);
  l.host.line.attach(1, line);
  EXPECT_EQ(l.run(), kExitCompleted);
  MonoTime bulk{0};
  MonoTime clock{0};
  for (const auto& r : server.requests()) {
    if (r.command == 4) bulk = r.at;
    if (r.command == 10) clock = r.at;
  }
  // The 30 frames are put together in 1.1 s and then take 1.1 s on the line; waiting for
  // silence would add 5 s.
  EXPECT_LT(clock - bulk, std::chrono::milliseconds(2500));
}

// A reload of the store's size or more fetches all it holds, under both speeds.
TEST(RunOutcome, AReloadOfTheWholeStoreFetchesTheWholeStore) {
  for (const bool hi : {false, true}) {
    for (const char* answer : {"50", "100"}) {  // the size of the store, twice it
      Launch l;
      l.host.settings.set("Speed", hi ? "1" : "0");
      auto c = v5_config(50, 50);
      c.records = clean_records(50);
      c.write_pointer = 7;
      c.read_pointer = 7;  // nothing new
      sim::V5Server server(c);
      l.host.line.attach(1, server);
      l.host.dialogs.answer(answer);
      EXPECT_EQ(l.run(), kExitCompleted);
      EXPECT_EQ(l.dump_lines().size(), 1U + 49) << answer << hi;
      EXPECT_EQ(server.clear_count(), 1);
    }
  }
}

// The link held to the end (the closing speed request was answered), but blocks were
// lost: the store is kept, and the run says so.
TEST(RunOutcome, ARunThatKeepsTheStoreSaysSo) {
  Launch l;
  l.host.settings.set("Speed", "1");
  sim::LegacyServer::Config c;
  c.records = clean_records(4 * 10);
  c.faults.silent = {7, 8, 9, 10};  // block 2 unanswered through a whole cycle
  sim::LegacyServer server(c);
  l.host.line.attach(1, server);
  EXPECT_EQ(l.run(), kExitReadingsKept);
  EXPECT_EQ(server.clear_count(), 0);
  EXPECT_EQ(server.baud(), 9600);
  ASSERT_FALSE(l.host.window.event_history().empty());
  EXPECT_EQ(l.host.window.event_history().back(), "Readings left on the server");
  ASSERT_EQ(l.message_titles(), std::vector<std::string>{"Readings Kept"});
  EXPECT_EQ(l.host.dialogs.messages()[0].text,
            "9 blocks of readings could not be fetched; they were left on the server and will "
            "come with the next run.");

  // A reload past the last block that can be asked for: those blocks are missing too.
  // Block 1 goes unanswered, so the rest is counted without being fetched.
  Launch beyond;
  beyond.host.settings.set("Speed", "1");
  sim::LegacyServer::Config e;  // nothing new
  e.faults.silent = {6, 7, 8, 9};
  sim::LegacyServer empty(e);
  beyond.host.line.attach(1, empty);
  beyond.host.dialogs.answer("32706");
  EXPECT_EQ(beyond.run(), kExitReadingsKept);
  EXPECT_EQ(empty.clear_count(), 0);
  ASSERT_EQ(beyond.message_titles(), std::vector<std::string>{"Readings Kept"});
  EXPECT_EQ(beyond.host.dialogs.messages()[0].text.substr(0, 48),
            "32706 blocks of readings could not be fetched; t");
}

// Switching to "Lo" during a "Hi" block download: the server is still brought back to
// 9600 bit/s, and the clock and clearing requests go out at that speed.
TEST(RunOutcome, TheSpeedPutBackIsTheSpeedSetOnTheLine) {
  Launch l;
  l.host.settings.set("Speed", "1");
  sim::LegacyServer::Config c;
  c.records = clean_records(4 * 6);
  sim::LegacyServer server(c);
  l.host.line.attach(1, server);
  l.host.window.when([&] { return l.host.window.event_text() == "Loading reading 3/6"; },
                     [&] { l.host.window.set_speed_hi(false); });
  EXPECT_EQ(l.run(), kExitCompleted);
  EXPECT_EQ(server.baud(), 9600);
  EXPECT_EQ(server.clear_count(), 1);
  for (const auto& r : server.requests()) {
    if (r.command == 10 || r.command == 12 || r.command == 3) {
      EXPECT_EQ(r.baud, 9600);
    }
  }
  EXPECT_EQ(l.host.settings.get("Speed", ""), "0");
}

// The time of day is read after the date exchange, and a date that turned meanwhile is
// sent again first.
TEST(RunOutcome, TheLegacyClockIsSetToOneMoment) {
  Launch l;
  l.host.clock.set_local(LocalDateTime{2012, 3, 4, 23, 59, 59});
  sim::LegacyServer::Config c;  // an empty store: nothing to fetch
  c.faults.silent = {4, 5, 6};  // the date request answered on its fourth attempt
  sim::LegacyServer server(c);
  l.host.line.attach(1, server);
  l.host.dialogs.answer("0");
  EXPECT_EQ(l.run(), kExitCompleted);
  std::vector<int> commands;
  for (const auto& r : server.requests()) {
    if (r.answered) commands.push_back(r.command);
  }
  EXPECT_EQ(commands, (std::vector<int>{9, 11, 1, 10, 10, 12, 3}));
  ASSERT_EQ(server.clock_sets().size(), 3U);
  // The second date request carried the new day, the time request the time after it.
  const LocalDateTime set = server.clock_sets().back();
  EXPECT_EQ(std::vector({set.year, set.month, set.day, set.hour, set.minute}),
            std::vector({2012, 3, 5, 0, 0}));
  EXPECT_LE(set.second, 3);
}

}  // namespace
}  // namespace tavric
