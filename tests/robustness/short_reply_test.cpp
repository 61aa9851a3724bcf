#include <gtest/gtest.h>

#include "platform/run_control.h"
#include "protocol/status.h"
#include "readings/fetch.h"
#include "readings/output_files.h"
#include "tests/protocol/bench.h"

namespace tavric::testing {
namespace {

// A kind-1 reading, sealed.
const Bytes kRecord = {0x1A, 0x04, 0xD2, 0x61, 0xB4, 0x0D, 0x00, 0x11, 0x2B, 0x00, 0x5E,
                       0x04, 0xD2, 0x48, 0x0B, 0xB8, 0x48, 0x0B, 0xB8, 0x48, 0x0B, 0xB8,
                       0x48, 0x0B, 0xB8, 0x48, 0x0B, 0xB8, 0x00, 0x00, 0x97, 0xF6};

// Intact replies that end before the data asked for: no field or record may come from
// an earlier reply, from the reply's own check bytes or from bytes that follow it.
TEST(ShortReply, NeverLendsBytesItDoesNotHold) {
  struct Case {
    const char* what;
    Bytes reply;
  };
  Bytes trailing = v5_frame(19, {0x01, 0x2C});
  trailing.insert(trailing.end(), kRecord.begin(), kRecord.end());
  Bytes record_without_slot = v5_frame(19, kRecord);  // the record ends in the check bytes
  for (const Case& c : {Case{"record after the reply", trailing},
                        Case{"record over the check bytes", record_without_slot}}) {
    FixedReplies server({{0, c.reply}});
    Bench b(&server);
    b.host.line.set_chunk_size(64);  // the reply and what follows it in one read
    PrepareOutputFiles(b.s);
    skip_on_fault([&] { GetReading(b.s, 300); });
    CloseOutputFiles(b.s);
    EXPECT_TRUE(b.s.NoComms) << c.what;
    EXPECT_EQ(b.host.read_output("Tavric Probe Data.csv").find("01234"), std::string::npos)
        << c.what;
  }

  // Status fields that would be the check bytes.
  FixedReplies status({{0, v5_frame(16, Bytes(14, 0x01))}});
  Bench s(&status);
  v5GetStatus(s.s);
  EXPECT_TRUE(s.s.NoComms);
  EXPECT_EQ(s.s.NewReadings, 0);

  // A legacy reply that echoes the block asked for but holds no records; the records
  // of the block before are still in RxBuffer.
  FixedReplies block({{0, legacy_frame({0, 0, 64, 0, 0})}});
  Bench l(&block);
  for (std::size_t i = 0; i < kRecord.size(); ++i) l.s.RxBuffer[12 + i] = kRecord[i];
  PrepareOutputFiles(l.s);
  GetData(l.s, 1);
  CloseOutputFiles(l.s);
  EXPECT_TRUE(l.s.NoComms);
  EXPECT_EQ(l.host.read_output("Tavric Probe Data.csv").find("01234"), std::string::npos);
}

}  // namespace
}  // namespace tavric::testing
