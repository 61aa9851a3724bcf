#include <gtest/gtest.h>

#include <algorithm>

#include "platform/run_control.h"
#include "readings/fetch.h"
#include "sim/legacy_server.h"
#include "sim/v5_server.h"
#include "tests/readings/readings_test_support.h"

namespace tavric {
namespace {

using namespace testing;  // NOLINT

// A simulated server holding `records`, whose link dies after `dies_after` requests.
template <typename Server>
typename Server::Config Holding(std::vector<sim::Record> records, int dies_after) {
  typename Server::Config config;
  config.records = std::move(records);
  config.faults.dies_after = dies_after;
  return config;
}

const sim::Record kLate = [] {  // a kind-0 clock of 2^31 seconds
  sim::Record r = kKind0;
  r[5] = 0x80;
  return r;
}();
const std::string kDump1 = kKind1Dump.substr(0, kKind1Dump.size() - 2);
const std::string kDump0 = "1234,  17 ,2012/03/04 14:05:09";
const std::string kErased = "!  65535 ,CRC error";

TEST(GetReading, WritesTheSlotsRecordOrItsMarkerAndNothingOnAFault) {
  sim::V5Server server(Holding<sim::V5Server>({kKind1, kKind0, kLate}, 4));  // slots 997..999
  Bench b(server);
  for (int slot : {997, 998, 5}) EXPECT_TRUE(GetReading(b.line, b.out, slot)) << slot;
  ASSERT_EQ(server.requests().size(), 3U);
  EXPECT_EQ(server.requests()[2].args, (Bytes{0, 5}));
  EXPECT_THROW(GetReading(b.line, b.out, 999), RunFault);
  EXPECT_THROW(GetReading(b.line, b.out, -1), RunFault);  // out-of-range slots are never asked for
  EXPECT_THROW(GetReading(b.line, b.out, 65536), RunFault);
  EXPECT_EQ(server.requests().size(), 4U);
  EXPECT_FALSE(GetReading(b.line, b.out, 997));  // the link is dead now
  const auto lines = b.DumpLines();
  ASSERT_EQ(lines.size(), 3U);
  EXPECT_EQ(lines[0], kDump1);
  EXPECT_EQ(lines[1].substr(0, kDump0.size()) + lines[2], kDump0 + kErased);
}

// Block 66 starts with an erased record (first byte 255): it is empty, and the reading
// after it is not written.
TEST(GetData, WritesTheFourRecordsOfEachBlockThatIsNotEmpty) {
  sim::Record damaged = kKind1;
  damaged[12] ^= 0x21;
  const sim::Record erased = sim::erased_record();
  sim::LegacyServer server(Holding<sim::LegacyServer>(
      {kKind1, damaged, kLate, kKind0, kKind1, erased, erased, erased, erased, kKind0}, 3));
  Bench b(server);
  std::vector<bool> answered;
  for (int counter : {1, 2, 0, 32705, 3, 4}) answered.push_back(GetData(b.line, b.out, counter));
  ASSERT_GE(server.requests().size(), 3U);
  EXPECT_EQ(server.requests()[0].args, (Bytes{0, 64, 0, 0}));
  EXPECT_EQ(server.requests()[2].args, (Bytes{0, 66, 0, 0}));
  // 0 and 32705 fetch nothing; the link died before counter 4.
  EXPECT_EQ(answered, (std::vector<bool>{true, true, true, true, true, false}));
  auto lines = b.DumpLines();
  ASSERT_EQ(lines.size(), 8U);
  lines[3] = lines[3].substr(0, kDump0.size());
  EXPECT_EQ(lines,
            (std::vector<std::string>{kDump1, "!  1234 ,CRC error", "?  1234 ,Invalid data  0 ",
                                      kDump0, kDump1, kErased, kErased, kErased}));
  EXPECT_EQ(std::ranges::count(b.probe(), '\n'), 1 + 3);
}

}  // namespace
}  // namespace tavric
