#include <gtest/gtest.h>

#include "platform/run_control.h"
#include "readings/fetch.h"
#include "readings/output_files.h"
#include "readings/record_writer.h"
#include "tests/protocol/bench.h"

namespace tavric::testing {
namespace {

// A kind-1 reading, sealed.
const Bytes kRecord = {0x1A, 0x04, 0xD2, 0x61, 0xB4, 0x0D, 0x00, 0x11, 0x2B, 0x00, 0x5E,
                       0x04, 0xD2, 0x48, 0x0B, 0xB8, 0x48, 0x0B, 0xB8, 0x48, 0x0B, 0xB8,
                       0x48, 0x0B, 0xB8, 0x48, 0x0B, 0xB8, 0x00, 0x00, 0x97, 0xF6};

// Runs `fetch` with the output files open; gives whether it was answered (a fault that
// skips the step counts as answered, so that it cannot pass for a refused reply).
template <typename Fetch>
bool fetch_into_files(Bench& b, Fetch fetch) {
  OutputFiles files(b.host.files, b.host.output_dir, nullptr);
  LowBatteries low_batteries;
  RecordWriter out{files, low_batteries};
  files.PrepareOutputFiles();
  bool answered = true;
  skip_on_fault([&] { answered = fetch(out); });
  files.CloseOutputFiles();
  return answered;
}

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
    EXPECT_FALSE(fetch_into_files(b, [&](RecordWriter& out) {
      return GetReading(b.line, out, 300);
    })) << c.what;
    EXPECT_EQ(b.host.read_output("Tavric Probe Data.csv").find("01234"), std::string::npos)
        << c.what;
  }

  // A legacy reply that echoes the block asked for but holds no records.
  FixedReplies block({{0, legacy_frame({0, 0, 64, 0, 0})}});
  Bench l(&block);
  EXPECT_FALSE(fetch_into_files(l, [&](RecordWriter& out) { return GetData(l.line, out, 1); }));
  EXPECT_EQ(l.host.read_output("Tavric Probe Data.csv").find("01234"), std::string::npos);
}

}  // namespace
}  // namespace tavric::testing
