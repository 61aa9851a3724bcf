// Known request bytes of the protocol, fed to the simulated servers, and their replies.
// (The client's own request bytes are checked in the protocol and readings suites.)
#include <gtest/gtest.h>

#include "sim/legacy_server.h"
#include "sim/v5_server.h"
#include "tests/sim/sim_client.h"

namespace {

using simtest::Bytes;
using tavric::LocalDateTime;
using tavric::testhost::TestHost;

TEST(GoldenFrames, V5StatusRequestAndItsReply) {
  const Bytes request = {0x00, 0x5E, 0xFF, 0xFF, 0x03, 0x00, 0x10, 0x00, 0x0D, 0x84};
  for (bool valid : {true, false}) {
    tavric::sim::V5Server::Config config;
    config.buffer_size = 1000;
    config.write_pointer = 300;
    config.read_pointer = 200;
    config.clock = {2000, 1, 2, 0, 0, 0};
    config.clock_valid = valid;
    tavric::sim::V5Server server(config);
    TestHost host;
    simtest::open_line(host, server);
    const Bytes reply = simtest::transact(host, request);
    ASSERT_TRUE(simtest::v5_reply_ok(reply));
    ASSERT_GE(reply.size(), 22u + 2);
    auto at = [&reply](int position) { return reply[static_cast<std::size_t>(position - 1)]; };
    EXPECT_EQ(at(6), 16);
    // Clock: 5760 steps (2 January 2000), or the top bit for a clock never set.
    const Bytes clock = {at(11), at(12), at(13), at(14)};
    EXPECT_EQ(clock, valid ? Bytes({0x00, 0x00, 0x16, 0x80}) : Bytes({0x80, 0x00, 0x00, 0x00}));
    const Bytes pointers(reply.begin() + 14, reply.begin() + 22);
    EXPECT_EQ(pointers, Bytes({0x01, 0x2C, 0x00, 0xC8, 0x03, 0xE8, 0x00, 0x64}));
  }
}

// The date reply is checked through the client's exchange; the time is set, then read.
TEST(GoldenFrames, LegacySetTimeRequest) {
  const Bytes set_time = {0x5E, 0xFF, 0xFF, 0xFF, 0x0E, 0x00, 0x0C, 0xFE, 0x0D,
                          0x1E, 0x05, 0x04, 0x45, 0x5F, 0x00, 0x00, 0x00};
  tavric::sim::LegacyServer::Config config;
  config.clock = {2012, 2, 29, 9, 0, 0};
  tavric::sim::LegacyServer server(config);
  TestHost host;
  simtest::open_line(host, server);
  ASSERT_TRUE(simtest::legacy_reply_ok(simtest::transact(host, set_time)));
  ASSERT_EQ(server.clock_sets().size(), 1u);
  EXPECT_EQ(server.clock_sets()[0], (LocalDateTime{2012, 2, 29, 13, 30, 5}));
  const Bytes time = simtest::transact(host, simtest::legacy_request(11));
  ASSERT_TRUE(simtest::legacy_reply_ok(time));
  EXPECT_EQ(Bytes(time.begin() + 8, time.begin() + 11), Bytes({0x0D, 0x1E, 0x05}));
  EXPECT_EQ(server.commands(), std::vector<int>({12, 11}));
}

}  // namespace
