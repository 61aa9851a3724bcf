#include <gtest/gtest.h>

#include "protocol/requests.h"
#include "protocol/status.h"
#include "tests/protocol/scripted_server.h"

namespace tavric::testing {
namespace {

// A legacy server that answers by command; commands missing from `replies` go unanswered.
ScriptedServer::Script legacy_replies(std::map<int, Bytes> replies) {
  return [replies](const Bytes& request, int) {
    auto it = replies.find(request[6]);
    return it == replies.end() ? Reply{} : Reply{{0, legacy_frame(it->second)}};
  };
}

TEST(LegacyStatus, ReadsDateTimeAndCount) {
  ScriptedServer server(
      false,
      legacy_replies({{9, {9, 0, 12, 2, 29}}, {11, {11, 0, 13, 30, 0}}, {1, {1, 1, 2, 0, 0}}}));
  Bench b(server);
  GetStatus(b.s);
  EXPECT_FALSE(b.s.NoComms);
  EXPECT_EQ(b.s.LoggerDate, (LocalDateTime{2012, 2, 29, 13, 30, 0}));
  EXPECT_EQ(b.s.NewReadings, 258);
  // The host's clock reads 2012-03-04 14:05:00.
  EXPECT_FLOAT_EQ(b.s.LoggerClockOffset, (4 * 86400 + 35 * 60) / 86400.0F);
  EXPECT_EQ(b.host.window.event_text(), "Checking for new readings, please wait ...");
}

TEST(LegacyStatus, FailedTimeRequestClearsTheStatusAndStops) {
  ScriptedServer server(false, legacy_replies({{9, {9, 0, 12, 13, 0}}, {1, {1, 1, 2}}}));
  Bench b(server);
  b.s.NewReadings = 5;
  b.s.LoggerClockOffset = 2;
  GetStatus(b.s);
  EXPECT_TRUE(b.s.NoComms);
  EXPECT_EQ(b.s.NewReadings, 0);
  EXPECT_EQ(b.s.LoggerClockOffset, 0);
  EXPECT_EQ(b.s.LoggerDate, zero_date_time());
  EXPECT_EQ(b.host.window.event_text(), "No comms ...");
  for (const Bytes& r : server.requests) EXPECT_NE(r[6], 1);
  EXPECT_EQ(server.requests.size(), 5U);  // the date once, the time four times
}

TEST(V5Status, DecodesPointersAndClock) {
  Bytes clock{0x00, 0x00, 0x16, 0x80};
  ScriptedServer server(true, [&](const Bytes&, int) {
    Bytes data{0, 0, 0, 0};
    data.insert(data.end(), clock.begin(), clock.end());
    data.insert(data.end(), {0x01, 0x2C, 0x00, 0xC8, 0x03, 0xE8, 0x00, 0x64});
    return Reply{{0, v5_frame(16, data)}};
  });
  Bench b(server);
  b.host.clock.set_local(LocalDateTime{2000, 1, 3, 12, 0, 0});
  v5GetStatus(b.s);
  EXPECT_FALSE(b.s.NoComms);
  EXPECT_EQ(b.s.WritePointer, 300);
  EXPECT_EQ(b.s.ReadPointer, 200);
  EXPECT_EQ(b.s.BufferSize, 1000);
  EXPECT_EQ(b.s.NewReadings, 100);
  EXPECT_EQ(b.s.LoggerDate, (LocalDateTime{2000, 1, 2}));
  EXPECT_FLOAT_EQ(b.s.LoggerClockOffset, 1.5F);
  EXPECT_EQ(b.host.window.event_text(), "Loaded server status OK.");

  clock = {0x80, 0, 0, 0};  // not set: the offset stays
  b.s.LoggerClockOffset = 7;
  v5GetStatus(b.s);
  EXPECT_EQ(b.s.LoggerDate, (LocalDateTime{2000, 1, 1}));
  EXPECT_EQ(b.s.LoggerClockOffset, 7);
}

TEST(V5Status, NoAnswerLeavesTheStatus) {
  ScriptedServer server(true, [](const Bytes&, int) { return Reply{}; });
  Bench b(server);
  b.s.ReadPointer = 12;
  v5GetStatus(b.s);
  EXPECT_TRUE(b.s.NoComms);
  EXPECT_EQ(b.s.ReadPointer, 12);
  EXPECT_EQ(b.host.window.event_text(), "Cannot load server status, no comms.");
}

TEST(LegacyRequests, ClockAndClearing) {
  ScriptedServer server(
      false,
      legacy_replies({{10, {10, 0, 0, 0, 0}}, {12, {12, 0, 0, 0, 0}}, {3, {3, 0, 0, 0, 0}}}));
  Bench b(server);
  b.host.clock.set_local(LocalDateTime{2012, 2, 29, 13, 30, 5});
  SetLoggerDate(b.s);
  ClearReadings(b.s);
  EXPECT_FALSE(b.s.NoComms);
  ASSERT_EQ(server.requests.size(), 3U);
  EXPECT_EQ(payload(server.requests[0], 7, 5), (Bytes{10, 255, 12, 2, 29}));
  EXPECT_EQ(server.requests[1], (Bytes{0x5E, 0xFF, 0xFF, 0xFF, 0x0E, 0x00, 0x0C, 0xFE, 0x0D, 0x1E,
                                       0x05, 0x04, 0x45, 0x5F, 0, 0, 0}));
  EXPECT_EQ(payload(server.requests[2], 7, 5), (Bytes{3, 0, 0, 0, 0}));

  ScriptedServer silent(false, legacy_replies({}));
  Bench quiet(silent);
  SetLoggerDate(quiet.s);
  EXPECT_TRUE(quiet.s.NoComms);
  for (const Bytes& r : silent.requests) EXPECT_EQ(r[6], 10);  // the time is never sent
}

TEST(LegacyRequests, DataBlockIsAskedForAgainWhileAnotherBlockComes) {
  for (int answered : {300, 299}) {
    ScriptedServer server(false, [&](const Bytes&, int) {
      Bytes data(133, 0);
      data[1] = static_cast<Byte>(answered / 256);
      data[2] = static_cast<Byte>(answered % 256);
      return Reply{{0, legacy_frame(data)}};
    });
    Bench b(server);
    GetProbeDataBlock(b.s, 300);
    EXPECT_EQ(payload(server.requests[0], 7, 5), (Bytes{0, 1, 44, 0, 0}));
    EXPECT_EQ(b.s.RxLength, 142);
    EXPECT_EQ(b.s.NoComms, answered != 300);
    EXPECT_EQ(server.requests.size(), answered == 300 ? 1U : 4U);
  }
}

}  // namespace
}  // namespace tavric::testing
