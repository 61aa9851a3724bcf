#include <gtest/gtest.h>

#include "protocol/legacy_exchange.h"
#include "sim/legacy_server.h"
#include "tests/protocol/bench.h"

namespace tavric::testing {
namespace {

void date_request(Bench& b, std::int16_t& len, bool no_retries = false, float timeout = 0) {
  for (double x : {9, 0, 0, 0, 0}) TxAdd(b.s, x);
  Transmit(b.s, len, no_retries, timeout);
}

sim::LegacyServer server_with(const std::string& fault) {
  sim::LegacyServer::Config config;
  config.faults = faults(fault);
  return sim::LegacyServer(config);
}

TEST(LegacyExchange, DateRequestIsByteExact) {
  sim::LegacyServer server;
  Bench b(&server);
  std::int16_t len = 14;
  date_request(b, len);
  EXPECT_EQ(b.host.line.sent_bytes(), (Bytes{0x5E, 0xFF, 0xFF, 0xFF, 0x0E, 0x00, 0x09, 0, 0, 0, 0,
                                             0x03, 0x14, 0x5F, 0, 0, 0}));
  EXPECT_EQ(b.host.line.control_log(), (std::vector<std::string>{"DTR-", "RTS-", "DTR+", "RTS+"}));
  EXPECT_FALSE(b.s.NoComms);
  EXPECT_EQ(b.s.TxLength, 0);
  EXPECT_EQ(slice(Bytes(b.s.RxBuffer.begin(), b.s.RxBuffer.end()), 10, 3), (Bytes{12, 2, 29}));
  EXPECT_EQ(b.host.window.led(1), LedColour::Off);

  for (double x : {12.0, -5.0, 2.5}) TxAdd(b.s, x);  // halves go to the even neighbour
  EXPECT_EQ(slice(Bytes(b.s.TxBuffer.begin(), b.s.TxBuffer.end()), 8, 3), (Bytes{12, 0, 2}));
}

TEST(LegacyExchange, SilentServerCostsFourAttemptsOfHalfASecond) {
  Bench b;
  MonoTime action_ran{};
  b.host.window.at(b.start + seconds_f(0.1), [&] { action_ran = b.host.clock.monotonic(); });
  std::int16_t len = 14;
  date_request(b, len);
  ASSERT_EQ(b.host.line.sent().size(), 4U);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(b.host.line.sent()[i].at, b.start + seconds_f(0.5 * i));
  EXPECT_DOUBLE_EQ(b.elapsed(), 2.0);
  EXPECT_EQ(action_ran, b.start + seconds_f(0.3));  // held through the first-byte wait
  EXPECT_TRUE(b.s.NoComms);
  EXPECT_EQ(b.host.window.led(1), LedColour::Red);

  date_request(b, len, /*no_retries=*/true, /*timeout=*/0.3F);
  EXPECT_EQ(b.host.line.sent().size(), 5U);
  EXPECT_NEAR(b.elapsed(), 3.1, 1e-6);
}

TEST(LegacyExchange, AllowanceRunsFromTheLastArrival) {
  const Bytes f = legacy_frame({9, 0, 12, 2, 29});
  for (double pause : {0.19, 0.21}) {
    FixedReplies server({{0.4, slice(f, 1, 5)}, {pause, slice(f, 6, 5)}, {pause, slice(f, 11, 4)}});
    Bench b(&server);
    std::int16_t len = 14;
    date_request(b, len, /*no_retries=*/true);
    EXPECT_EQ(b.s.NoComms, pause > 0.2);
    EXPECT_EQ(server.requests, 1);
  }
}

TEST(LegacyExchange, FaultyRepliesAreRetried) {
  struct Case {
    const char* fault;
    bool no_comms;
    std::size_t requests;
  };
  for (const Case& c : {Case{"bad-check=1,2,3", true, 3}, Case{"bad-check=1", false, 2},
                        Case{"noise=1", false, 1}, Case{"cut-short=1", false, 2}}) {
    sim::LegacyServer server = server_with(c.fault);
    Bench b(&server);
    std::int16_t len = 14;
    date_request(b, len);
    EXPECT_EQ(b.s.NoComms, c.no_comms);
    EXPECT_EQ(server.requests().size(), c.requests);
  }
}

TEST(LegacyExchange, AnnouncedLengthAndTrailingBytes) {
  Bytes reply = legacy_frame({9, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});  // announces 20
  reply.insert(reply.end(), {0x5E, 7, 7});
  FixedReplies server({{0, reply}});
  Bench b(&server);
  b.host.line.set_chunk_size(64);
  std::int16_t len = 14;
  date_request(b, len);
  EXPECT_FALSE(b.s.NoComms);
  EXPECT_EQ(len, 20);
  EXPECT_EQ(b.s.RxLength, 20);
  EXPECT_EQ(b.s.RxBuffer[21], 0x5E);  // kept after the frame, not checked
}

}  // namespace
}  // namespace tavric::testing
