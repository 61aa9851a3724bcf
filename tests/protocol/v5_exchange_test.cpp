#include <gtest/gtest.h>

#include "protocol/crc.h"
#include "protocol/requests.h"
#include "protocol/v5_exchange.h"
#include "tests/protocol/scripted_server.h"

namespace tavric::testing {
namespace {

TEST(FrameCheck, Crc16Modbus) {
  std::int32_t crc = 0xFFFF;
  for (char c : std::string("123456789")) update_crc(crc, c);
  EXPECT_EQ(crc, 0x4B37);
  update_crc(crc, 0x37);
  update_crc(crc, 0x4B);
  EXPECT_EQ(crc, 0);
  crc = 0xFFFF;
  update_crc(crc, 0);
  EXPECT_EQ(crc, 0x40BF);

  testhost::TestHost host;
  Session s(host.platform);
  GenerateCRC(s);  // nothing covered yet
  EXPECT_EQ(s.TxBuffer[6], 0xFF);
  EXPECT_EQ(s.TxBuffer[7], 0xFF);
}

// Status, clearing and clock requests as they go out, each after its 0x00 byte.
TEST(V5Frame, RequestsAreByteExact) {
  ScriptedServer server(true, [](const Bytes&, int) { return Reply{}; });
  Bench b(server);
  v5Add(b.s, 16);
  v5Add(b.s, 0);
  v5Transmit(b.s);
  EXPECT_EQ(payload(b.host.line.sent_bytes(), 1, 10),
            (Bytes{0x00, 0x5E, 0xFF, 0xFF, 0x03, 0x00, 0x10, 0x00, 0x0D, 0x84}));
  EXPECT_EQ(b.s.TxLength, 0);

  v5ClearReadings(b.s);
  EXPECT_EQ(server.requests.back(), (Bytes{0x5E, 0xFF, 0xFF, 0x02, 0x00, 0x09, 0x61, 0xC6}));

  for (auto [second, last] : {std::pair{0, 0x80}, {7, 0x80}, {8, 0x81}}) {
    b.host.clock.set_local(LocalDateTime{2000, 1, 2, 0, 0, second});
    v5SetLoggerDate(b.s);
    EXPECT_EQ(payload(server.requests.back(), 6, 5), (Bytes{10, 0x00, 0x00, 0x16, Byte(last)}));
  }
}

TEST(V5Timing, SilentServerCostsFourWaitsAndFourFrames) {
  for (int modem : {0, 1}) {
    ScriptedServer server(true, [](const Bytes&, int) { return Reply{}; });
    Bench b(server);
    b.s.ModemConnected = static_cast<std::int16_t>(modem);
    v5ClearReadings(b.s);
    EXPECT_TRUE(b.s.NoComms);
    EXPECT_EQ(server.requests.size(), 4U);
    EXPECT_DOUBLE_EQ(b.elapsed(), modem ? 22.0 : 2.0);
    EXPECT_EQ(b.host.window.frame_history(), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(b.host.window.led(0), LedColour::Off);
    EXPECT_EQ(b.host.window.led(1), LedColour::Red);
  }
}

TEST(V5Timing, EachChunkRestartsTheWait) {
  const Bytes f = v5_frame(9, {1, 2, 3, 4, 5, 6});
  struct Case {
    int modem;
    double first, pause;
    std::size_t requests;
  };
  for (const Case& c : {Case{0, 0.45, 0.45, 1}, Case{1, 5.4, 5.4, 1}, Case{0, 0.45, 0.55, 2}}) {
    ScriptedServer server(true, [&](const Bytes&, int n) {
      if (n > 1) return Reply{{0, f}};
      return Reply{{c.first, payload(f, 1, 4)}, {c.pause, payload(f, 5, 10)}};
    });
    Bench b(server);
    b.s.ModemConnected = static_cast<std::int16_t>(c.modem);
    v5ClearReadings(b.s);
    EXPECT_FALSE(b.s.NoComms);
    EXPECT_EQ(server.requests.size(), c.requests);
    EXPECT_EQ(b.s.RxLength, 14);
  }
}

TEST(V5Reply, FaultyFramesAreDroppedWithinTheAttempt) {
  Bytes bad_crc = v5_frame(9, {1});
  bad_crc[5] ^= 0x40;
  const Bytes good = v5_frame(9, {7, 7});
  for (const Bytes& faulty : {bad_crc, v5_frame(9, {1}, 0), v5_frame(16, {1})}) {
    Bytes chunk{0x42, 0x00};  // noise before the first start byte
    chunk.insert(chunk.end(), faulty.begin(), faulty.end());
    chunk.insert(chunk.end(), good.begin(), good.end());
    chunk.insert(chunk.end(), {0xAA, 0xBB});
    ScriptedServer server(true, [&](const Bytes&, int) { return Reply{{0, chunk}}; });
    Bench b(server);
    b.host.line.set_chunk_size(100);
    v5ClearReadings(b.s);
    EXPECT_FALSE(b.s.NoComms);
    EXPECT_EQ(server.requests.size(), 1U);
    EXPECT_EQ(b.s.RxBuffer[8], 7);
    EXPECT_EQ(b.s.RxLength, 12);  // the two bytes after the reply are kept too
    EXPECT_EQ(b.host.window.led(1), LedColour::Off);
  }
}

TEST(V5Reply, ClosedPortSendsNothing) {
  ScriptedServer server(true, [](const Bytes&, int) { return Reply{}; });
  Bench b(server);
  b.host.line.close();
  v5ClearReadings(b.s);
  EXPECT_TRUE(b.s.NoComms);
  EXPECT_TRUE(b.host.line.sent().empty());
  EXPECT_EQ(b.s.TxLength, 0);
  EXPECT_DOUBLE_EQ(b.elapsed(), 0.0);
}

}  // namespace
}  // namespace tavric::testing
