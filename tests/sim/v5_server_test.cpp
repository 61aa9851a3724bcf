#include <gtest/gtest.h>

#include "sim/record_generator.h"
#include "sim/v5_server.h"
#include "tests/sim/sim_client.h"

namespace {

using simtest::Bytes;
using simtest::transact;
using simtest::v5_reply_ok;
using simtest::v5_request;
using tavric::sim::V5Server;
using tavric::testhost::TestHost;

TEST(V5Server, WholeProtocol) {
  V5Server::Config config;
  config.buffer_size = 20;
  tavric::sim::GeneratorOptions clean;
  clean.mix = tavric::sim::RecordMix::clean();
  config.records = tavric::sim::RecordGenerator(clean).take(6);  // slots 17, 18, 19, 0, 1, 2
  config.write_pointer = 3;
  config.clock = {2000, 1, 2, 0, 0, 0};
  V5Server server(config);
  TestHost host;
  simtest::open_line(host, server);

  // Status from known request bytes: clock in steps (5760 for 2 January 2000), then
  // write pointer, read pointer, store size and the count of new readings.
  Bytes r = transact(host, Bytes{0x00, 0x5E, 0xFF, 0xFF, 0x03, 0x00, 0x10, 0x00, 0x0D, 0x84});
  ASSERT_TRUE(v5_reply_ok(r));
  ASSERT_EQ(r.size(), 24u);
  EXPECT_EQ(r[5], 16);
  EXPECT_EQ(Bytes(r.begin() + 10, r.begin() + 22),
            Bytes({0x00, 0x00, 0x16, 0x80, 0, 3, 0, 17, 0, 20, 0, 6}));

  // Single readings and the bulk stream from slot 17 wrap round the end of the store: a
  // single reply holds 2 slot bytes and the record, a stream frame its number and the record.
  const Bytes bulk = transact(host, v5_request(4, {0, 0, 0, 0, 0, 17, 0}));
  ASSERT_EQ(bulk.size(), 10u + 6 * 36);
  for (int k = 0; k < 6; ++k) {
    const int slot = (17 + k) % 20;
    r = transact(host, v5_request(19, {slot / 256, slot % 256}));
    ASSERT_TRUE(v5_reply_ok(r));
    ASSERT_EQ(r.size(), 42u);
    EXPECT_EQ(r[6] * 256 + r[7], slot);
    EXPECT_TRUE(std::equal(r.begin() + 8, r.begin() + 40, config.records[k].begin()));
    const auto frame = bulk.begin() + 10 + 36 * k;
    EXPECT_EQ(Bytes(frame, frame + 3), Bytes({0x4E, 0, static_cast<tavric::Byte>(k + 1)}));
    EXPECT_TRUE(std::equal(frame + 3, frame + 35, config.records[k].begin()));
    EXPECT_EQ(frame[35], 0x4F);
  }
  r = transact(host, v5_request(19, {0, 20}));
  ASSERT_GE(r.size(), 5u);
  EXPECT_EQ(r[4], 0);  // status: refused
  // From the write pointer there is nothing new: an answer and no stream.
  EXPECT_EQ(transact(host, v5_request(4, {0, 0, 0, 0, 0, 3, 0})).size(), 10u);

  ASSERT_TRUE(v5_reply_ok(transact(host, v5_request(10, {0x01, 0x86, 0xD0, 0x34}))));
  EXPECT_EQ(server.clock_sets(), std::vector<std::int64_t>({25612340}));
  ASSERT_TRUE(v5_reply_ok(transact(host, v5_request(9, {}))));
  r = transact(host, v5_request(16, {0}));
  ASSERT_TRUE(v5_reply_ok(r));
  ASSERT_EQ(r.size(), 24u);
  const std::uint32_t clock = (r[10] << 24) | (r[11] << 16) | (r[12] << 8) | r[13];
  EXPECT_GE(clock, 25612340u);
  EXPECT_LE(clock, 25612341u);
  EXPECT_EQ(Bytes(r.begin() + 14, r.begin() + 22), Bytes({0, 3, 0, 3, 0, 20, 0, 0}));
}

}  // namespace
