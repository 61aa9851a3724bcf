#include <gtest/gtest.h>

#include "protocol/requests.h"
#include "protocol/status.h"
#include "protocol/v5_exchange.h"
#include "sim/v5_server.h"
#include "tests/protocol/bench.h"

namespace tavric::testing {
namespace {

TEST(V5Exchange, StatusClearingAndClockAgainstTheServer) {
  sim::V5Server::Config config;
  config.write_pointer = 300;
  config.read_pointer = 200;
  config.clock = {2000, 1, 2};
  sim::V5Server server(config);
  Bench b(&server);
  b.host.clock.set_local(LocalDateTime{2000, 1, 3, 12, 0, 0});
  const std::optional<ServerStatus> status = v5GetStatus(b.line, 0.0F);
  EXPECT_TRUE(v5ClearReadings(b.line));
  EXPECT_EQ(b.host.line.sent_bytes(),
            (Bytes{0x00, 0x5E, 0xFF, 0xFF, 0x03, 0x00, 0x10, 0x00, 0x0D, 0x84,  //
                   0x00, 0x5E, 0xFF, 0xFF, 0x02, 0x00, 0x09, 0x61, 0xC6}));
  ASSERT_TRUE(status.has_value());
  EXPECT_FLOAT_EQ(status->LoggerClockOffset, 1.5F);

  for (auto [second, last] : {std::pair{0, 0x80}, {7, 0x80}, {8, 0x81}}) {
    b.host.clock.set_local(LocalDateTime{2000, 1, 2, 0, 0, second});
    EXPECT_TRUE(v5SetLoggerDate(b.line));
    ASSERT_FALSE(server.requests().empty());
    EXPECT_EQ(server.requests().back().args, (Bytes{0x00, 0x00, 0x16, Byte(last)}));
  }
}

TEST(V5Exchange, SilentServerCostsFourWaits) {
  for (int modem : {0, 1}) {
    Bench b;
    b.line.call_delay = std::chrono::seconds(5 * modem);
    EXPECT_FALSE(v5GetStatus(b.line, 0.0F).has_value());
    EXPECT_EQ(b.host.line.sent().size(), 8U);  // lead byte and frame, four times
    EXPECT_DOUBLE_EQ(b.elapsed(), modem ? 22.0 : 2.0);
  }
}

TEST(V5Exchange, EachChunkRestartsTheWait) {
  const Bytes f = v5_frame(9, {1, 2, 3, 4, 5, 6});
  for (auto [modem, pause] : {std::pair{0, 0.45}, {1, 5.4}, {0, 0.55}}) {
    // Only the first request is answered: a late rest must not pass for a later reply.
    FixedReplies server({{pause, slice(f, 0, 4)}, {pause, slice(f, 4, 10)}}, 1);
    Bench b(&server);
    b.line.call_delay = std::chrono::seconds(5 * modem);
    EXPECT_EQ(!v5ClearReadings(b.line), pause == 0.55);
  }
}

// A reply that comes a byte at a time, each just inside the wait, takes far longer than
// its bytes at the line speed: it is waited for as long as it keeps coming.
TEST(V5Exchange, ASlowReplyThatKeepsComingIsTakenWhole) {
  const Bytes f = v5_frame(9, {1, 2, 3, 4, 5, 6});
  std::vector<Piece> pieces;
  for (const Byte b : f) pieces.push_back({0.45, {b}});
  FixedReplies server(pieces, 1);
  Bench b(&server);
  EXPECT_TRUE(v5ClearReadings(b.line));
  EXPECT_GT(b.elapsed(), 0.45 * static_cast<double>(f.size()));
}

TEST(V5Exchange, FaultyFrameThenGoodOneInTheSameChunk) {
  Bytes bad_crc = v5_frame(9, {1});
  bad_crc[5] ^= 0x40;
  const Bytes good = v5_frame(9, {7, 7});
  V5Request clear;
  clear.v5Add(9);
  for (const Bytes& faulty : {bad_crc, v5_frame(9, {1}, 0), v5_frame(16, {1})}) {
    Bytes chunk{0x42, 0x00};  // noise before the first start byte
    chunk.insert(chunk.end(), faulty.begin(), faulty.end());
    chunk.insert(chunk.end(), good.begin(), good.end());
    chunk.insert(chunk.end(), {0xAA, 0xBB});
    FixedReplies server({{0, chunk}});
    Bench b(&server);
    b.host.line.set_chunk_size(100);
    Reply reply;
    EXPECT_TRUE(v5Transmit(b.line, clear, reply));
    EXPECT_EQ(reply[7], 7);
    EXPECT_EQ(reply.size(), 12U);  // the two bytes after the reply are kept too
  }
}

}  // namespace
}  // namespace tavric::testing
