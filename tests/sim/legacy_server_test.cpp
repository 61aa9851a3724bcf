#include <gtest/gtest.h>

#include <memory>

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

// The replies to two requests for block 65, the first of them spoilt by `fault`.
struct FirstTwo {
  std::unique_ptr<tavric::sim::LegacyServer> server;
  Bytes a, b;
};
FirstTwo first_two(const char* fault) {
  tavric::sim::LegacyServer::Config config;
  config.records = tavric::sim::RecordGenerator().take(8);
  EXPECT_EQ(tavric::sim::add_fault(config.faults, fault), "");
  FirstTwo r{std::make_unique<tavric::sim::LegacyServer>(config), {}, {}};
  TestHost host;
  simtest::open_line(host, *r.server);
  r.a = transact(host, legacy_request(0, 0, 65));
  r.b = transact(host, legacy_request(0, 0, 65));
  return r;
}

TEST(LegacyServer, FirstReplyGoesWrongAsPlanned) {
  const FirstTwo silent = first_two("silent=1");
  EXPECT_TRUE(silent.a.empty());
  EXPECT_TRUE(simtest::legacy_reply_ok(silent.b));
  EXPECT_FALSE(silent.server->requests()[0].answered);

  const FirstTwo noise = first_two("noise=1");  // noise without a start byte, then the reply
  ASSERT_GT(noise.a.size(), noise.b.size());
  const auto reply_at = noise.a.end() - static_cast<long>(noise.b.size());
  EXPECT_EQ(std::count(noise.a.begin(), reply_at, 0x5E), 0);
  EXPECT_EQ(Bytes(reply_at, noise.a.end()), noise.b);

  const FirstTwo bad = first_two("bad-check=1");
  EXPECT_EQ(bad.a.size(), 142u);
  EXPECT_FALSE(simtest::legacy_reply_ok(bad.a));
  EXPECT_TRUE(simtest::legacy_reply_ok(bad.b));

  const FirstTwo cut = first_two("cut-short=1");
  EXPECT_EQ(cut.a.size(), 71u);
  EXPECT_EQ(Bytes(cut.b.begin(), cut.b.begin() + 71), cut.a);

  const FirstTwo wrong = first_two("wrong-block=1");
  ASSERT_TRUE(simtest::legacy_reply_ok(wrong.a));
  EXPECT_EQ(wrong.a[8], 64);
  EXPECT_EQ(wrong.b[8], 65);

  const FirstTwo dies = first_two("dies-after=1");
  EXPECT_TRUE(simtest::legacy_reply_ok(dies.a));
  EXPECT_TRUE(dies.b.empty());
  EXPECT_EQ(dies.server->requests().size(), 2u);
}

}  // namespace
