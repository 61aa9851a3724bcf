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

// Records are read from a whole reply's bytes alone: only from its data, never from its
// check bytes or from past its end.
TEST(FetchReplies, RecordsComeOnlyFromTheDataOfAWholeReply) {
  RecordBytes record;
  record.fill(7);
  // A v5 reply: start, address, length L, status, command 19, the slot, the record, check.
  const auto v5_reply = [&](Byte length) {
    Bytes reply{0x5E, 0xFF, 0xFF, length, 1, 19, 0x01, 0x2C};
    reply.insert(reply.end(), record.begin(), record.end());
    reply.insert(reply.end(), {0, 0});
    return reply;
  };
  EXPECT_EQ(ReadingRecordOf(v5_reply(36)), record);
  EXPECT_FALSE(ReadingRecordOf(v5_reply(35)));  // its last byte would be a check byte

  // A legacy block reply: 11 bytes before the four records, then the sum and end byte.
  Bytes block(11, 0);
  for (int k = 0; k < 4; ++k) block.insert(block.end(), record.begin(), record.end());
  block.insert(block.end(), {0, 0, 0x5F});
  EXPECT_EQ(BlockRecordsOf(block), std::vector<RecordBytes>(4, record));
  block[11] = 255;  // an erased first record: the block is empty
  EXPECT_EQ(BlockRecordsOf(block), std::vector<RecordBytes>{});
  block.pop_back();
  EXPECT_FALSE(BlockRecordsOf(block));
}

}  // namespace
}  // namespace tavric
