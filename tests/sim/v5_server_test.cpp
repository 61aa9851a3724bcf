#include <gtest/gtest.h>

#include <map>

#include "sim/record_generator.h"
#include "sim/v5_server.h"
#include "tests/sim/sim_client.h"

namespace {

using simtest::Bytes;
using simtest::transact;
using simtest::v5_request;
using tavric::sim::V5Server;
using tavric::testhost::TestHost;

V5Server::Config store_across_the_end() {
  V5Server::Config config;
  config.buffer_size = 20;
  tavric::sim::GeneratorOptions clean;
  clean.mix = tavric::sim::RecordMix::clean();
  config.records = tavric::sim::RecordGenerator(clean).take(6);  // slots 17, 18, 19, 0, 1, 2
  config.write_pointer = 3;
  return config;
}

// Stream frames after the 10-byte answer to a bulk request: number -> intact record.
std::map<int, bool> frames_in(const Bytes& got) {
  std::map<int, bool> frames;
  for (std::size_t i = 10; i + 36 <= got.size(); i += 36) {
    EXPECT_EQ(got[i], 0x4E);
    EXPECT_EQ(got[i + 35], 0x4F);
    const Bytes record(got.begin() + static_cast<long>(i) + 3,
                       got.begin() + static_cast<long>(i) + 35);
    frames[got[i + 1] * 256 + got[i + 2]] = simtest::crc16(record, 0, 32) == 0;
  }
  return frames;
}

TEST(V5Server, WholeProtocol) {
  const V5Server::Config config = store_across_the_end();
  V5Server server(config);
  TestHost host;
  simtest::open_line(host, server);
  ASSERT_EQ(server.read_pointer(), 17);

  // Single readings wrap round the end of the store: 2 slot bytes, then the record.
  for (int k = 0; k < 6; ++k) {
    const int slot = (17 + k) % 20;
    const Bytes r = transact(host, v5_request(19, {slot / 256, slot % 256}));
    ASSERT_TRUE(simtest::v5_reply_ok(r));
    ASSERT_EQ(r.size(), 42u);
    EXPECT_EQ(r[6] * 256 + r[7], slot);
    EXPECT_TRUE(std::equal(r.begin() + 8, r.begin() + 40, config.records[k].begin()));
  }
  const Bytes outside = transact(host, v5_request(19, {0, 20}));
  EXPECT_EQ(outside[4], 0);  // status: refused

  // The bulk transfer from slot 17 carries six frames, numbered 1 to 6.
  std::map<int, bool> frames = frames_in(transact(host, v5_request(4, {0, 0, 0, 0, 0, 17, 0})));
  EXPECT_EQ(frames, (std::map<int, bool>{
                        {1, true}, {2, true}, {3, true}, {4, true}, {5, true}, {6, true}}));
  // From the write pointer there is nothing new: an answer and no stream.
  EXPECT_EQ(transact(host, v5_request(4, {0, 0, 0, 0, 0, 3, 0})).size(), 10u);

  ASSERT_TRUE(simtest::v5_reply_ok(transact(host, v5_request(10, {0x01, 0x86, 0xD0, 0x34}))));
  EXPECT_EQ(server.clock_sets(), std::vector<std::int64_t>({25612340}));
  ASSERT_TRUE(simtest::v5_reply_ok(transact(host, v5_request(9, {}))));
  const Bytes status = transact(host, v5_request(16, {0}));
  ASSERT_TRUE(simtest::v5_reply_ok(status));
  const std::uint32_t clock =
      (status[10] << 24) | (status[11] << 16) | (status[12] << 8) | status[13];
  EXPECT_GE(clock, 25612340u);
  EXPECT_LE(clock, 25612341u);
  EXPECT_EQ(Bytes(status.begin() + 14, status.begin() + 22), Bytes({0, 3, 0, 3, 0, 20, 0, 0}));
  EXPECT_EQ(server.commands(), std::vector<int>({19, 19, 19, 19, 19, 19, 19, 4, 4, 10, 9, 16}));
}

TEST(V5Server, StreamFaults) {
  V5Server::Config config = store_across_the_end();
  for (const char* f : {"damage-frame=2", "drop-frame=3", "stream-breaks-after=5"}) {
    ASSERT_EQ(tavric::sim::add_fault(config.faults, f), "");
  }
  V5Server server(config);
  TestHost host;
  simtest::open_line(host, server);
  const auto frames = frames_in(transact(host, v5_request(4, {0, 0, 0, 0, 0, 17, 0})));
  EXPECT_EQ(frames, (std::map<int, bool>{{1, true}, {2, false}, {4, true}, {5, true}}));
}

TEST(V5Server, FindsItsRequestAmongForeignBytes) {
  V5Server::Config config;
  ASSERT_EQ(tavric::sim::add_fault(config.faults, "bad-check=2"), "");
  V5Server server(config);
  TestHost host;
  simtest::open_line(host, server);
  // A legacy status request right before the v5 one, as a client that tries both sends.
  Bytes both = simtest::legacy_request(9);
  const Bytes status = v5_request(16, {0});
  both.insert(both.end(), status.begin(), status.end());
  EXPECT_TRUE(simtest::v5_reply_ok(transact(host, both)));
  // Request 2 gets a reply with a broken CRC.
  const Bytes broken = transact(host, status);
  EXPECT_EQ(broken.size(), 24u);
  EXPECT_FALSE(simtest::v5_reply_ok(broken));
  // A request addressed to another unit is not answered; to this one it is.
  auto addressed = [](int unit) {
    Bytes f = {0x00, 0x5E, 0x00, static_cast<tavric::Byte>(unit), 0x03, 0x00, 0x10, 0x00};
    const std::uint16_t crc = simtest::crc16(f, 2, f.size());
    f.push_back(static_cast<tavric::Byte>(crc & 0xFF));
    f.push_back(static_cast<tavric::Byte>(crc >> 8));
    return f;
  };
  EXPECT_TRUE(transact(host, addressed(2)).empty());
  EXPECT_TRUE(simtest::v5_reply_ok(transact(host, addressed(1))));
}

}  // namespace
