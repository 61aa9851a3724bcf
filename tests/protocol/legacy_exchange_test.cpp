#include <gtest/gtest.h>

#include "protocol/legacy_exchange.h"
#include "tests/protocol/scripted_server.h"

namespace tavric::testing {
namespace {

const Bytes kDateReply = legacy_frame({9, 0, 12, 2, 29});

// Sends the date request with the caller expecting `len` bytes.
void date_request(Bench& b, std::int16_t& len, bool no_retries = false, float timeout = 0) {
  for (double x : {9, 0, 0, 0, 0}) TxAdd(b.s, x);
  Transmit(b.s, len, no_retries, timeout);
}

TEST(LegacyFrame, DateRequestIsByteExactAndPulsesTheControlLines) {
  ScriptedServer server(false, [](const Bytes&, int) { return Reply{{0, kDateReply}}; });
  Bench b(server);
  std::int16_t len = 14;
  date_request(b, len);
  EXPECT_EQ(b.host.line.sent_bytes(), (Bytes{0x5E, 0xFF, 0xFF, 0xFF, 0x0E, 0x00, 0x09, 0, 0, 0, 0,
                                             0x03, 0x14, 0x5F, 0, 0, 0}));
  EXPECT_EQ(b.host.line.control_log(), (std::vector<std::string>{"DTR-", "RTS-", "DTR+", "RTS+"}));
  EXPECT_FALSE(b.s.NoComms);
  EXPECT_EQ(b.s.TxLength, 0);
  EXPECT_EQ(b.s.RxLength, 14);
  EXPECT_EQ(b.s.RxBuffer[11], 29);
  EXPECT_EQ(b.host.window.led(1), LedColour::Off);

  TxAdd(b.s, 12);
  TxAdd(b.s, -5);
  TxAdd(b.s, 2.5);  // halves go to the even neighbour
  EXPECT_EQ(b.s.TxLength, 9);
  EXPECT_EQ(b.s.TxBuffer[7], 12);
  EXPECT_EQ(b.s.TxBuffer[8], 0);
  EXPECT_EQ(b.s.TxBuffer[9], 2);
}

TEST(LegacyTiming, SilentServerCostsFourAttemptsOfHalfASecond) {
  ScriptedServer server(false, [](const Bytes&, int) { return Reply{}; });
  Bench b(server);
  MonoTime held_action_ran{};
  b.host.window.at(b.start + seconds_f(0.1), [&] { held_action_ran = b.host.clock.monotonic(); });
  std::int16_t len = 14;
  date_request(b, len);
  ASSERT_EQ(b.host.line.sent().size(), 4U);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(b.host.line.sent()[i].at, b.start + seconds_f(0.5 * i));
  EXPECT_DOUBLE_EQ(b.elapsed(), 2.0);
  // The first-byte wait lets no window events through.
  EXPECT_EQ(held_action_ran, b.start + seconds_f(0.3));
  EXPECT_TRUE(b.s.NoComms);
  EXPECT_EQ(b.host.window.led(1), LedColour::Red);

  const MonoTime t = b.host.clock.monotonic();
  date_request(b, len, /*no_retries=*/true, /*timeout=*/0.3F);
  EXPECT_EQ(b.host.line.sent().size(), 5U);
  EXPECT_NEAR(std::chrono::duration<double>(b.host.clock.monotonic() - t).count(), 1.1, 1e-6);
}

TEST(LegacyTiming, AllowanceRunsFromTheLastArrival) {
  // A reply starting 0.4 s after the request, in three pieces with pauses between them.
  for (double pause : {0.19, 0.21}) {
    ScriptedServer server(false, [&](const Bytes&, int) {
      const Bytes& f = kDateReply;
      return Reply{{0.4, payload(f, 1, 5)}, {pause, payload(f, 6, 5)}, {pause, payload(f, 11, 4)}};
    });
    Bench b(server);
    std::int16_t len = 14;
    date_request(b, len, /*no_retries=*/true);
    EXPECT_EQ(b.s.NoComms, pause > 0.2);
    EXPECT_EQ(server.requests.size(), 1U);
  }
}

TEST(LegacyReply, FaultyCompleteRepliesStartNewCyclesUpToThree) {
  Bytes bad_sum = kDateReply;
  bad_sum[12] ^= 1;
  for (const Bytes& faulty : {legacy_frame({9, 0, 12, 2, 29}, 0), bad_sum}) {
    ScriptedServer server(false, [&](const Bytes&, int) { return Reply{{0, faulty}}; });
    Bench b(server);
    std::int16_t len = 14;
    date_request(b, len);
    EXPECT_TRUE(b.s.NoComms);
    EXPECT_EQ(server.requests.size(), 3U);
  }
  ScriptedServer server(false, [](const Bytes&, int n) {
    return Reply{{0, n == 1 ? legacy_frame({9, 0, 12, 2, 29}, 0) : kDateReply}};
  });
  Bench b(server);
  std::int16_t len = 14;
  date_request(b, len);
  EXPECT_FALSE(b.s.NoComms);
  EXPECT_EQ(server.requests.size(), 2U);
}

TEST(LegacyReply, NoiseLengthAndTrailingBytes) {
  const Bytes long_reply = legacy_frame({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});  // 20 bytes
  Bytes noisy{0x13, 0x00, 0x5F};
  noisy.insert(noisy.end(), kDateReply.begin(), kDateReply.end());
  noisy.insert(noisy.end(), {0x5E, 7, 7});
  ScriptedServer server(false, [&](const Bytes&, int n) {
    return Reply{{0, n == 1 ? long_reply : noisy}};
  });
  Bench b(server);
  b.host.line.set_chunk_size(64);
  std::int16_t len = 14;
  date_request(b, len);
  EXPECT_FALSE(b.s.NoComms);
  EXPECT_EQ(len, 20);
  EXPECT_EQ(b.s.RxLength, 20);

  len = 14;
  date_request(b, len);
  EXPECT_FALSE(b.s.NoComms);
  EXPECT_EQ(b.s.RxLength, 14);
  EXPECT_EQ(b.s.RxBuffer[11], 29);
  EXPECT_EQ(b.s.RxBuffer[15], 0x5E);  // stored after the frame, not checked
}

}  // namespace
}  // namespace tavric::testing
