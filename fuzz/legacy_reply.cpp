// Legacy reply collection and check: Transmit, the status requests and a block fetch
// against a line that sends whatever the fuzzer wrote, in pieces and with gaps.
//
// Input: [mode][command][answer length][flags] then arrivals (see read_chunks).
// mode % 3: 0 one exchange, 1 GetStatus, 2 GetData of the first block.

#include "fuzz/fuzz_host.h"
#include "protocol/legacy_exchange.h"
#include "protocol/status.h"
#include "readings/fetch.h"
#include "readings/output_files.h"

namespace tavric::fuzz {
namespace {

// What every accepted legacy reply must be: status 1, a length of 14 to 142, the
// end byte last and the sum of the positions after the start byte, high byte first.
void require_sound_reply(const Session& s, int answer_length) {
  const auto& rx = s.RxBuffer;
  const int n = s.RxLength;
  require(n == answer_length, "accepted length differs from the announced one");
  require(n >= 14 && n <= 142, "accepted a reply of length " + std::to_string(n));
  require(rx[6] == 1 && rx[static_cast<std::size_t>(n)] == 0x5F, "accepted a bad status or end");
  int sum = 0;
  for (int i = 2; i <= n - 3; ++i) sum += rx[static_cast<std::size_t>(i)];
  require(rx[static_cast<std::size_t>(n - 2)] == sum / 256 &&
              rx[static_cast<std::size_t>(n - 1)] == sum % 256,
          "accepted a bad checksum");
}

}  // namespace
}  // namespace tavric::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavric;
  using namespace tavric::fuzz;
  Reader r(data, size);
  const int mode = r.byte() % 3;
  const int command = r.byte();
  const Byte length_choice = r.byte();
  const Byte flags = r.byte();
  FuzzHost h;
  Session& s = h.session;
  h.line.pending = read_chunks(r);

  if (mode == 0) {
    std::int16_t answer_length = length_choice < 128   ? 14
                                 : length_choice < 250 ? 142
                                                       : length_choice;
    for (int b : {command, 0, 0, 0, 0}) TxAdd(s, b);
    Transmit(s, answer_length, (flags & 1) != 0, (flags & 2) ? 0.3F : 0.0F);
    require(s.TxLength == 0, "request left in TxBuffer");
    if (!s.NoComms) require_sound_reply(s, answer_length);
  } else if (mode == 1) {
    GetStatus(s);
    if (!s.NoComms) {
      require(s.NewReadings >= 0 && s.NewReadings <= 65535, "new readings out of range");
    } else {
      require(s.NewReadings == 0, "a failed status left a count");
    }
  } else {
    h.open_output();
    GetData(s, 1);
    CloseOutputFiles(s);
    // Records are taken from positions 12 to 139 of the block reply, before its sum
    // and end byte: lines may only come from a whole block reply, never from bytes of
    // an earlier one.
    const auto dump = h.files.lines("Dump00.csv");
    if (!dump.empty()) {
      require(!s.NoComms && s.RxLength == 142,
              "lines written from a reply of length " + std::to_string(s.RxLength));
    }
  }
  return 0;
}
