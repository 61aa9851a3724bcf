#include <gtest/gtest.h>

#include "sim/legacy_server.h"
#include "sim/record_generator.h"
#include "tests/sim/sim_client.h"

namespace {

using simtest::Bytes;
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
  ASSERT_TRUE(simtest::legacy_reply_ok(r));
  EXPECT_EQ(r[7] * 256 + r[8], 3);

  for (int block = 64; block <= 67; ++block) {
    r = transact(host, legacy_request(0, block / 256, block % 256));
    ASSERT_TRUE(simtest::legacy_reply_ok(r));
    ASSERT_EQ(r.size(), 142u);
    EXPECT_EQ(Bytes(r.begin() + 6, r.begin() + 9), Bytes({0, 0, static_cast<tavric::Byte>(block)}));
    for (int k = 0; k < 4; ++k) {
      const std::size_t index = static_cast<std::size_t>((block - 64) * 4 + k);
      const auto rec = r.begin() + 11 + 32 * k;
      const auto want = index < 10 ? config.records[index] : tavric::sim::erased_record();
      EXPECT_TRUE(std::equal(rec, rec + 32, want.begin())) << block << "/" << k;
    }
  }

  ASSERT_TRUE(simtest::legacy_reply_ok(transact(host, legacy_request(10, 255, 12, 3, 4))));
  EXPECT_EQ(server.clock_sets().back().day, 4);

  // Speed change: the answer comes at 9600, then only 56000 is understood.
  ASSERT_TRUE(simtest::legacy_reply_ok(transact(host, legacy_request(14, 1))));
  EXPECT_EQ(server.baud(), 56000);
  EXPECT_TRUE(transact(host, legacy_request(1)).empty());
  reopen(host, tavric::kSettings56000);
  ASSERT_TRUE(simtest::legacy_reply_ok(transact(host, legacy_request(14, 0))));
  EXPECT_TRUE(transact(host, legacy_request(1)).empty());
  reopen(host, tavric::kSettings9600);

  ASSERT_TRUE(simtest::legacy_reply_ok(transact(host, legacy_request(3))));
  r = transact(host, legacy_request(1));
  EXPECT_EQ(r[7] * 256 + r[8], 0);
  r = transact(host, legacy_request(0, 0, 64));
  EXPECT_EQ(r[11], 255);

  // A command the server does not know: a well-formed reply with status 0.
  r = transact(host, legacy_request(77));
  ASSERT_EQ(r.size(), 14u);
  EXPECT_EQ(r[5], 0);
  EXPECT_EQ(server.clear_count(), 1);
}

struct FaultCase {
  const char* fault;
  void (*check)(const Bytes& first, const Bytes& second, const tavric::sim::LegacyServer&);
};

class LegacyFaults : public testing::TestWithParam<FaultCase> {};

TEST_P(LegacyFaults, FirstReplyGoesWrongAsPlanned) {
  tavric::sim::LegacyServer::Config config;
  config.records = tavric::sim::RecordGenerator().take(8);
  ASSERT_EQ(tavric::sim::add_fault(config.faults, GetParam().fault), "");
  tavric::sim::LegacyServer server(config);
  TestHost host;
  simtest::open_line(host, server);
  const Bytes first = transact(host, legacy_request(0, 0, 65));
  const Bytes second = transact(host, legacy_request(0, 0, 65));
  GetParam().check(first, second, server);
}

INSTANTIATE_TEST_SUITE_P(
    Plan, LegacyFaults,
    testing::Values(FaultCase{"silent=1",
                              [](const Bytes& a, const Bytes& b,
                                 const tavric::sim::LegacyServer& s) {
                                EXPECT_TRUE(a.empty());
                                EXPECT_TRUE(simtest::legacy_reply_ok(b));
                                EXPECT_FALSE(s.requests()[0].answered);
                              }},
                    FaultCase{"noise=1",
                              [](const Bytes& a, const Bytes& b, const tavric::sim::LegacyServer&) {
                                ASSERT_GT(a.size(), b.size());
                                const Bytes noise(a.begin(), a.end() - static_cast<long>(b.size()));
                                EXPECT_EQ(std::count(noise.begin(), noise.end(), 0x5E), 0);
                                EXPECT_EQ(Bytes(a.end() - static_cast<long>(b.size()), a.end()), b);
                              }},
                    FaultCase{"bad-check=1",
                              [](const Bytes& a, const Bytes& b, const tavric::sim::LegacyServer&) {
                                EXPECT_EQ(a.size(), 142u);
                                EXPECT_FALSE(simtest::legacy_reply_ok(a));
                                EXPECT_TRUE(simtest::legacy_reply_ok(b));
                              }},
                    FaultCase{"cut-short=1",
                              [](const Bytes& a, const Bytes& b, const tavric::sim::LegacyServer&) {
                                EXPECT_EQ(a.size(), 71u);
                                EXPECT_EQ(Bytes(b.begin(), b.begin() + 71), a);
                              }},
                    FaultCase{"wrong-block=1",
                              [](const Bytes& a, const Bytes& b, const tavric::sim::LegacyServer&) {
                                ASSERT_TRUE(simtest::legacy_reply_ok(a));
                                EXPECT_EQ(a[8], 64);
                                EXPECT_EQ(b[8], 65);
                              }},
                    FaultCase{"dies-after=1", [](const Bytes& a, const Bytes& b,
                                                 const tavric::sim::LegacyServer& s) {
                                EXPECT_TRUE(simtest::legacy_reply_ok(a));
                                EXPECT_TRUE(b.empty());
                                EXPECT_EQ(s.requests().size(), 2u);
                              }}));

}  // namespace
