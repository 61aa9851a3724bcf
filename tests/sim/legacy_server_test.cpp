#include <gtest/gtest.h>

#include "sim/legacy_server.h"
#include "sim/record_generator.h"
#include "tests/sim/sim_client.h"

namespace {

using simtest::Bytes;
using simtest::legacy_reply_ok;
using simtest::legacy_request;
using simtest::transact;
using tavric::testhost::TestHost;

void reopen(TestHost& host, const char* settings) {
  host.line.close();
  host.line.set_settings(settings);
  std::string error;
  ASSERT_TRUE(host.line.open(error));
}

TEST(LegacyServer, WholeProtocol) {
  tavric::sim::LegacyServer::Config config;
  config.records = tavric::sim::RecordGenerator().take(10);  // blocks 64, 65, 66 (half full)
  tavric::sim::LegacyServer server(config);
  TestHost host;
  simtest::open_line(host, server);

  Bytes r = transact(host, legacy_request(1));
  ASSERT_TRUE(legacy_reply_ok(r));
  EXPECT_EQ(r[7] * 256 + r[8], 3);

  for (int block = 64; block <= 67; ++block) {
    r = transact(host, legacy_request(0, block / 256, block % 256));
    ASSERT_TRUE(legacy_reply_ok(r));
    ASSERT_EQ(r.size(), 142u);
    EXPECT_EQ(Bytes(r.begin() + 6, r.begin() + 9), Bytes({0, 0, static_cast<tavric::Byte>(block)}));
    for (int k = 0; k < 4; ++k) {
      const std::size_t index = static_cast<std::size_t>((block - 64) * 4 + k);
      const auto rec = r.begin() + 11 + 32 * k;
      const auto want = index < 10 ? config.records[index] : tavric::sim::erased_record();
      EXPECT_TRUE(std::equal(rec, rec + 32, want.begin())) << block << "/" << k;
    }
  }

  // Date, then time of day from known request bytes, then the time read back.
  ASSERT_TRUE(legacy_reply_ok(transact(host, legacy_request(10, 255, 12, 3, 4))));
  const Bytes set_time = {0x5E, 0xFF, 0xFF, 0xFF, 0x0E, 0x00, 0x0C, 0xFE, 0x0D,
                          0x1E, 0x05, 0x04, 0x45, 0x5F, 0x00, 0x00, 0x00};
  ASSERT_TRUE(legacy_reply_ok(transact(host, set_time)));
  ASSERT_EQ(server.clock_sets().size(), 2u);
  EXPECT_EQ(server.clock_sets().back(), (tavric::LocalDateTime{2012, 3, 4, 13, 30, 5}));
  r = transact(host, legacy_request(11));
  ASSERT_TRUE(legacy_reply_ok(r));
  EXPECT_EQ(Bytes(r.begin() + 8, r.begin() + 11), Bytes({0x0D, 0x1E, 0x05}));

  // Speed change: the answer comes at 9600, then only 56000 is understood.
  ASSERT_TRUE(legacy_reply_ok(transact(host, legacy_request(14, 1))));
  EXPECT_EQ(server.baud(), 56000);
  EXPECT_TRUE(transact(host, legacy_request(1)).empty());
  reopen(host, tavric::kSettings56000);
  ASSERT_TRUE(legacy_reply_ok(transact(host, legacy_request(14, 0))));
  EXPECT_TRUE(transact(host, legacy_request(1)).empty());
  reopen(host, tavric::kSettings9600);

  ASSERT_TRUE(legacy_reply_ok(transact(host, legacy_request(3))));
  r = transact(host, legacy_request(1));
  ASSERT_TRUE(legacy_reply_ok(r));
  EXPECT_EQ(r[7] * 256 + r[8], 0);
  r = transact(host, legacy_request(0, 0, 64));
  ASSERT_EQ(r.size(), 142u);
  EXPECT_EQ(r[11], 255);
  EXPECT_EQ(server.clear_count(), 1);

  // A command the server does not know: a well-formed reply with status 0.
  r = transact(host, legacy_request(77));
  ASSERT_EQ(r.size(), 14u);
  EXPECT_EQ(r[5], 0);
}

}  // namespace
