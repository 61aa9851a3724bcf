#include <gtest/gtest.h>

#include "platform/run_control.h"
#include "readings/fetch.h"
#include "readings/output_files.h"
#include "sim/legacy_server.h"
#include "sim/v5_server.h"
#include "tests/readings/readings_test_support.h"

namespace tavric {
namespace {

using testing::Bench;
using testing::kKind0;
using testing::kKind1;

constexpr std::size_t kDumpHeaderSize = 95;

// The dump lines written after the header.
std::string DumpLines(Bench& b) {
  CloseOutputFiles(b.s);
  return b.dump().substr(kDumpHeaderSize);
}

sim::V5Server::Config V5(int size, int write, std::vector<sim::Record> records, int dies = 0) {
  sim::V5Server::Config c;
  c.buffer_size = size;
  c.write_pointer = write;
  c.records = std::move(records);
  c.faults.dies_after = dies;
  return c;
}

sim::LegacyServer::Config Legacy(std::vector<sim::Record> records, int dies = 0) {
  sim::LegacyServer::Config c;
  c.records = std::move(records);
  c.faults.dies_after = dies;
  return c;
}

sim::Record Damaged(sim::Record r) {
  r[12] ^= 0x21;
  return r;
}

TEST(GetReading, WritesTheSlotsRecordOrItsMarker) {
  sim::V5Server server(V5(10, 2, {kKind1, kKind0}));
  Bench b(server);
  PrepareOutputFiles(b.s);
  for (int slot : {0, 1, 5}) GetReading(b.s, slot);
  EXPECT_FALSE(b.s.NoComms);
  ASSERT_EQ(server.requests().size(), 3U);
  EXPECT_EQ(server.requests()[2].command, 19);
  EXPECT_EQ(server.requests()[2].args, (Bytes{0, 5}));
  const std::string lines = DumpLines(b);
  EXPECT_EQ(lines.substr(0, testing::kKind1Dump.size()), testing::kKind1Dump);
  EXPECT_NE(lines.find(",2012/03/04 14:05:09,"), std::string::npos);
  EXPECT_EQ(lines.substr(lines.size() - 21), "!  65535 ,CRC error\r\n");  // an erased slot
}

TEST(GetReading, FaultsAndFailuresWriteNothing) {
  sim::Record late = kKind0;
  late[5] = 0x80;  // a clock of 2^31 seconds
  sim::V5Server server(V5(10, 1, {late}, 1));
  Bench b(server);
  PrepareOutputFiles(b.s);
  EXPECT_THROW(GetReading(b.s, -1), RunFault);
  EXPECT_THROW(GetReading(b.s, 65536), RunFault);
  EXPECT_TRUE(server.requests().empty());
  EXPECT_EQ(b.s.TxLength, 0);
  EXPECT_THROW(GetReading(b.s, 0), RunFault);
  GetReading(b.s, 0);  // the link is dead now
  EXPECT_TRUE(b.s.NoComms);
  EXPECT_EQ(DumpLines(b), "");
}

TEST(GetData, WritesTheFourRecordsOfABlock) {
  sim::Record late = kKind0;
  late[5] = 0x80;
  sim::LegacyServer server(
      Legacy({kKind1, Damaged(kKind1), late, kKind0, kKind1, sim::erased_record()}));
  Bench b(server);
  PrepareOutputFiles(b.s);
  GetData(b.s, 1);
  GetData(b.s, 2);  // a valid reading and three erased records
  GetData(b.s, 0);  // counters outside 1..32704 fetch nothing
  GetData(b.s, 32705);
  ASSERT_EQ(server.requests().size(), 2U);
  EXPECT_EQ(server.requests()[0].args, (Bytes{0, 64, 0, 0}));
  EXPECT_EQ(server.requests()[1].args, (Bytes{0, 65, 0, 0}));
  const std::string crc = "!  1234 ,CRC error\r\n";
  const std::string erased = "!  65535 ,CRC error\r\n";
  const std::string lines = DumpLines(b);
  EXPECT_EQ(lines.substr(0, testing::kKind1Dump.size() + crc.size()), testing::kKind1Dump + crc);
  EXPECT_NE(lines.find(crc + "?  1234 ,Invalid data  0 \r\n1234,  17 ,2012/03/04 14:05:09"),
            std::string::npos);
  EXPECT_EQ(lines.substr(lines.size() - 3 * erased.size()), erased + erased + erased);
  EXPECT_EQ(b.probe().size(), 118 + 3 * testing::kKind1Probe.size());
}

TEST(GetData, EmptyBlockAndFailedExchangeWriteNothing) {
  sim::LegacyServer server(Legacy({sim::erased_record(), kKind1, kKind1, kKind1, kKind1}, 1));
  Bench b(server);
  PrepareOutputFiles(b.s);
  GetData(b.s, 1);  // starts with 255
  EXPECT_FALSE(b.s.NoComms);
  GetData(b.s, 2);
  EXPECT_TRUE(b.s.NoComms);
  EXPECT_EQ(DumpLines(b), "");
}

}  // namespace
}  // namespace tavric
