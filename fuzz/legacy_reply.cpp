// Legacy reply collection and check: Transmit, the status requests and a block fetch
// against a line that sends whatever the fuzzer wrote, in pieces and with gaps.
//
// Input: [mode][command][answer length][flags] then arrivals (see read_chunks).
// mode % 4: 0 one exchange, 1 GetStatus, 2 GetData of the first block, 3 the records
// taken from the reply to that block's request.

#include "fuzz/fuzz_host.h"
#include "protocol/legacy_exchange.h"
#include "protocol/requests.h"
#include "protocol/status.h"
#include "readings/fetch.h"

namespace tavric::fuzz {
namespace {

// What every accepted legacy reply must be: status 1, a length of 14 to 142, the
// end byte last and the sum of the positions after the start byte, high byte first.
void require_sound_reply(const Reply& rx, int answer_length) {
  const int n = static_cast<int>(rx.size());
  require(n == answer_length, "accepted length differs from the announced one");
  require(n >= 14 && n <= 142, "accepted a reply of length " + std::to_string(n));
  const auto at = [&](int i) { return rx[static_cast<std::size_t>(i)]; };
  require(at(5) == 1 && at(n - 1) == 0x5F, "accepted a bad status or end");
  int sum = 0;
  for (int i = 1; i <= n - 4; ++i) sum += at(i);
  require(at(n - 3) == sum / 256 && at(n - 2) == sum % 256, "accepted a bad checksum");
}

}  // namespace
}  // namespace tavric::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavric;
  using namespace tavric::fuzz;
  Reader r(data, size);
  const int mode = r.byte() % 4;
  const int command = r.byte();
  const Byte length_choice = r.byte();
  const Byte flags = r.byte();
  FuzzHost h;
  Line& line = h.run.line;
  h.line.pending = read_chunks(r);

  if (mode == 0) {
    std::int16_t answer_length = length_choice < 128   ? 14
                                 : length_choice < 250 ? 142
                                                       : length_choice;
    Reply reply;
    const LegacyRequest request{static_cast<double>(command), 0, 0, 0, 0};
    if (Transmit(line, request, answer_length, (flags & 1) != 0, (flags & 2) ? 0.3F : 0.0F,
                 reply)) {
      require_sound_reply(reply, answer_length);
    }
  } else if (mode == 1) {
    if (const auto status = GetStatus(line)) {
      require(status->NewReadings >= 0 && status->NewReadings <= 65535,
              "new readings out of range");
    }
  } else if (mode == 3) {
    // Of an answer, records come only from a sound reply of the whole block length,
    // never from bytes past its end.
    Reply reply;
    if (GetProbeDataBlock(line, 64, reply)) {
      const auto records = BlockRecordsOf(reply.bytes());
      if (records && !records->empty()) {
        require(reply.size() == 142,
                "records taken from a reply of length " + std::to_string(reply.size()));
        require_sound_reply(reply, 142);
      }
    }
  } else {
    h.run.output.PrepareOutputFiles();
    RecordWriter out = h.run.writer();
    const bool answered = GetData(line, out, 1);
    h.run.output.CloseOutputFiles();
    // Lines may only come from a block the server answered with.
    const auto dump = h.files.lines("Dump00.csv");
    require(dump.size() <= 1 || answered, "lines written without an answer");
  }
  return 0;
}
