#include <gtest/gtest.h>

#include "protocol/legacy_exchange.h"
#include "protocol/requests.h"
#include "protocol/status.h"
#include "sim/legacy_server.h"
#include "tests/protocol/bench.h"

namespace tavric::testing {
namespace {

// The date request; true when a sound reply came.
bool date_request(Bench& b, Reply& reply, std::int16_t& len, bool no_retries = false,
                  float timeout = 0) {
  return Transmit(b.line, {9, 0, 0, 0, 0}, len, no_retries, timeout, reply);
}

// A faulty reply is asked for again: a complete one (bad sum, status 0, end byte) in a
// new cycle, an incomplete one in the next attempt; the false start byte in the noise
// spoils the reply behind it.
TEST(LegacyExchange, FramesAndRetriesAgainstTheServer) {
  struct Case {
    const char* fault;
    bool no_comms;
    std::size_t requests;
  };
  for (const Case& c :
       {Case{"", false, 1}, Case{"bad-check=1,2,3", true, 3}, Case{"bad-check=1", false, 2},
        Case{"status-0=1", false, 2}, Case{"bad-end=1", false, 2}, Case{"noise=1", false, 2},
        Case{"cut-short=1", false, 2}}) {
    sim::LegacyServer server(with_fault<sim::LegacyServer::Config>(c.fault));
    Bench b(&server);
    Reply reply;
    std::int16_t len = 14;
    EXPECT_EQ(!date_request(b, reply, len), c.no_comms) << c.fault;
    EXPECT_EQ(server.requests().size(), c.requests) << c.fault;
    if (c.requests != 1) continue;
    EXPECT_EQ(slice(b.host.line.sent_bytes(), 0, 17),
              (Bytes{0x5E, 0xFF, 0xFF, 0xFF, 0x0E, 0, 9, 0, 0, 0, 0, 0x03, 0x14, 0x5F, 0, 0, 0}));
    EXPECT_EQ(slice(reply.bytes(), 8, 3), (Bytes{12, 2, 29}));
  }
}

TEST(LegacyExchange, SilentServerCostsFourAttemptsOfHalfASecond) {
  Bench b;
  MonoTime action_ran{};
  b.host.window.at(b.start + seconds_f(0.1), [&] { action_ran = b.host.clock.monotonic(); });
  Reply reply;
  std::int16_t len = 14;
  EXPECT_FALSE(date_request(b, reply, len));
  ASSERT_EQ(b.host.line.sent().size(), 4U);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(b.host.line.sent()[i].at, b.start + seconds_f(0.5 * i));
  EXPECT_DOUBLE_EQ(b.elapsed(), 2.0);
  EXPECT_EQ(action_ran, b.start + seconds_f(0.3));  // held through the first-byte wait
  const auto& lines = b.host.line.control_log();
  ASSERT_GE(lines.size(), 4U);
  EXPECT_EQ(std::vector(lines.begin(), lines.begin() + 4),
            (std::vector<std::string>{"DTR-", "RTS-", "DTR+", "RTS+"}));

  date_request(b, reply, len, /*no_retries=*/true, /*timeout=*/0.3F);
  EXPECT_EQ(b.host.line.sent().size(), 5U);
  EXPECT_NEAR(b.elapsed(), 3.1, 1e-6);
}

TEST(LegacyExchange, CollectionFollowsTheArrivals) {
  const Bytes f = legacy_frame({9, 0, 12, 2, 29});
  for (double pause : {0.19, 0.21}) {  // reply in three pieces, starting after 0.4 s
    FixedReplies server({{0.4, slice(f, 0, 5)}, {pause, slice(f, 5, 5)}, {pause, slice(f, 10, 4)}});
    Bench b(&server);
    Reply reply;
    std::int16_t len = 14;
    EXPECT_EQ(!date_request(b, reply, len, /*no_retries=*/true), pause > 0.2);
  }
  {  // a byte at a time, each just inside the wait: slow, but it keeps coming
    std::vector<Piece> pieces{{0.4, slice(f, 0, 1)}};
    for (std::size_t i = 1; i < 14; ++i) pieces.push_back({0.19, slice(f, i, 1)});
    FixedReplies server(pieces);
    Bench b(&server);
    Reply reply;
    std::int16_t len = 14;
    EXPECT_TRUE(date_request(b, reply, len, /*no_retries=*/true));
    EXPECT_GT(b.elapsed(), 0.4 + 13 * 0.19);
  }
  // A length byte of 14 or more sets how much is collected, whatever the caller expected;
  // what follows the frame is not checked nor kept, and a frame longer than 142 is faulty.
  for (const auto& [length, expected, no_comms] :
       {std::tuple{20, 14, false}, {14, 142, false}, {143, 142, true}}) {
    Bytes sent = legacy_frame(Bytes(static_cast<std::size_t>(length - 9), 9));
    sent.insert(sent.end(), {0x5E, 7});
    FixedReplies server({{0, {0x13, 0x00}}, {0, sent}});
    Bench b(&server);
    b.host.line.set_chunk_size(64);
    Reply reply;
    std::int16_t len = static_cast<std::int16_t>(expected);
    EXPECT_EQ(!date_request(b, reply, len), no_comms) << length;
    EXPECT_EQ(len, length);
    if (no_comms) continue;
    EXPECT_EQ(reply.size(), static_cast<std::size_t>(length));
    EXPECT_EQ(reply[static_cast<std::size_t>(length - 1)], 0x5F);
  }
}

// Clock 2012-02-29 13:30:00; 258 blocks, the last holding one record.
sim::LegacyServer::Config with_faults(const std::string& fault) {
  auto config = with_fault<sim::LegacyServer::Config>(fault);
  config.records.resize(258 * 4 - 3);
  return config;
}

TEST(LegacyRequests, StatusClockAndClearing) {
  sim::LegacyServer server(with_faults(""));
  Bench b(&server);
  b.host.clock.set_local(LocalDateTime{2012, 2, 29, 13, 30, 5});
  const std::optional<ServerStatus> status = GetStatus(b.line);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->LoggerDate, (LocalDateTime{2012, 2, 29, 13, 30, 0}));
  EXPECT_EQ(status->NewReadings, 258);

  EXPECT_TRUE(SetLoggerDate(b.line));
  EXPECT_TRUE(ClearReadings(b.line));
  const auto& sent = b.host.line.sent();
  ASSERT_EQ(sent.size(), 6U);
  EXPECT_EQ(slice(sent[3].bytes, 6, 5), (Bytes{10, 255, 12, 2, 29}));
  EXPECT_EQ(slice(sent[4].bytes, 6, 5), (Bytes{12, 254, 13, 30, 5}));
  EXPECT_EQ(server.clear_count(), 1);
}

TEST(LegacyRequests, DataBlockIsAskedForAgainWhileAnotherComes) {
  for (int wrong : {1, 4}) {
    sim::LegacyServer server(with_faults(wrong == 1 ? "wrong-block=1" : "wrong-block=1,2,3,4"));
    Bench b(&server);
    Reply reply;
    EXPECT_EQ(!GetProbeDataBlock(b.line, 300, reply), wrong == 4);
    ASSERT_FALSE(server.requests().empty());
    EXPECT_EQ(server.requests()[0].args, (Bytes{1, 44, 0, 0}));
    EXPECT_EQ(server.requests().size(), wrong == 4 ? 4U : 2U);
  }
}

}  // namespace
}  // namespace tavric::testing
