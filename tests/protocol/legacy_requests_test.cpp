#include <gtest/gtest.h>

#include "protocol/requests.h"
#include "protocol/status.h"
#include "sim/legacy_server.h"
#include "tests/protocol/bench.h"

namespace tavric::testing {
namespace {

sim::LegacyServer::Config with_faults(const std::string& fault) {
  sim::LegacyServer::Config config;  // clock 2012-02-29 13:30:00
  config.faults = faults(fault);
  config.records.resize(258 * 4 - 3);  // the last block holds one record
  return config;
}

TEST(LegacyStatus, ReadsDateTimeAndCount) {
  sim::LegacyServer server(with_faults(""));
  Bench b(&server);
  GetStatus(b.s);
  EXPECT_FALSE(b.s.NoComms);
  EXPECT_EQ(b.s.LoggerDate, (LocalDateTime{2012, 2, 29, 13, 30, 0}));
  EXPECT_EQ(b.s.NewReadings, 258);
  // The host's clock reads 2012-03-04 14:05:00.
  EXPECT_FLOAT_EQ(b.s.LoggerClockOffset, (4 * 86400 + 35 * 60) / 86400.0F);
}

TEST(LegacyStatus, FailedTimeRequestClearsTheStatusAndStops) {
  sim::LegacyServer server(with_faults("silent=2,3,4,5"));
  Bench b(&server);
  b.s.NewReadings = 5;
  b.s.LoggerClockOffset = 2;
  GetStatus(b.s);
  EXPECT_TRUE(b.s.NoComms);
  EXPECT_EQ(b.s.NewReadings, 0);
  EXPECT_EQ(b.s.LoggerClockOffset, 0);
  EXPECT_EQ(b.s.LoggerDate, zero_date_time());
  EXPECT_EQ(b.host.window.event_text(), "No comms ...");
  EXPECT_EQ(server.commands(), (std::vector<int>{9, 11, 11, 11, 11}));
}

TEST(LegacyRequests, ClockAndClearing) {
  sim::LegacyServer server(with_faults(""));
  Bench b(&server);
  b.host.clock.set_local(LocalDateTime{2012, 2, 29, 13, 30, 5});
  SetLoggerDate(b.s);
  ClearReadings(b.s);
  EXPECT_FALSE(b.s.NoComms);
  const auto& sent = b.host.line.sent();
  ASSERT_EQ(sent.size(), 3U);
  EXPECT_EQ(slice(sent[0].bytes, 7, 5), (Bytes{10, 255, 12, 2, 29}));
  EXPECT_EQ(sent[1].bytes, (Bytes{0x5E, 0xFF, 0xFF, 0xFF, 0x0E, 0x00, 0x0C, 0xFE, 0x0D, 0x1E, 0x05,
                                  0x04, 0x45, 0x5F, 0, 0, 0}));
  EXPECT_EQ(slice(sent[2].bytes, 7, 5), (Bytes{3, 0, 0, 0, 0}));
  EXPECT_EQ(server.clear_count(), 1);

  Bench silent;
  SetLoggerDate(silent.s);
  EXPECT_TRUE(silent.s.NoComms);
  for (const auto& c : silent.host.line.sent()) EXPECT_EQ(c.bytes[6], 10);  // no time request
}

TEST(LegacyRequests, DataBlockIsAskedForAgainWhileAnotherComes) {
  for (int wrong : {1, 4}) {
    sim::LegacyServer server(with_faults(wrong == 1 ? "wrong-block=1" : "wrong-block=1,2,3,4"));
    Bench b(&server);
    GetProbeDataBlock(b.s, 300);
    EXPECT_EQ(server.requests()[0].args, (Bytes{1, 44, 0, 0}));
    EXPECT_EQ(b.s.RxLength, 142);
    EXPECT_EQ(b.s.NoComms, wrong == 4);
    EXPECT_EQ(server.requests().size(), wrong == 4 ? 4U : 2U);
  }
}

}  // namespace
}  // namespace tavric::testing
