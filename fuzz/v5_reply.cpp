// v5 reply collection and check: v5Transmit, the status request and a single reading
// against a line that sends whatever the fuzzer wrote, in pieces and with gaps.
//
// Input: [mode][command][argument count][arguments...][modem] then arrivals.
// mode % 3: 0 one exchange, 1 v5GetStatus, 2 GetReading of slot 300.

#include "fuzz/fuzz_host.h"
#include "platform/run_control.h"
#include "protocol/crc.h"
#include "protocol/status.h"
#include "protocol/v5_exchange.h"
#include "readings/fetch.h"
#include "readings/output_files.h"

namespace tavric::fuzz {
namespace {

// What every accepted v5 reply must be: a frame of L + 6 bytes whose check comes out at
// 0, with status 1 and the request's command echoed.
void require_sound_reply(const Session& s, int command) {
  const auto& rx = s.RxBuffer;
  const int frame = rx[4] + 6;
  require(s.RxLength >= frame, "accepted a reply shorter than it announces");
  std::int32_t crc = 0xFFFF;
  for (int i = 2; i <= frame; ++i) update_crc(crc, rx[static_cast<std::size_t>(i)]);
  require(crc == 0, "accepted a reply with a bad check");
  require(rx[5] == 1 && rx[6] == command, "accepted a bad status or another command");
}

}  // namespace
}  // namespace tavric::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavric;
  using namespace tavric::fuzz;
  Reader r(data, size);
  const int mode = r.byte() % 3;
  const int command = r.byte();
  const Bytes args = r.bytes(r.byte() % 8);
  FuzzHost h;
  Session& s = h.session;
  s.ModemConnected = r.byte() & 1;
  h.line.pending = read_chunks(r);

  if (mode == 0) {
    v5Add(s, command);
    for (Byte b : args) v5Add(s, b);
    v5Transmit(s);
    require(s.TxLength == 0, "request left in TxBuffer");
    if (!s.NoComms) require_sound_reply(s, command & 0xFF);
  } else if (mode == 1) {
    v5GetStatus(s);
    if (!s.NoComms) {
      require_sound_reply(s, 16);
      // The fields stand at positions 15 to 22: inside the data, which ends at L + 4.
      require(s.RxBuffer[4] + 4 >= 22, "status read from beyond the reply's data");
      for (std::int32_t v : {s.WritePointer, s.ReadPointer, s.BufferSize, s.NewReadings}) {
        require(v >= 0 && v <= 65535, "status field out of range");
      }
    }
  } else {
    h.open_output();
    skip_on_fault([&] { GetReading(s, 300); });
    CloseOutputFiles(s);
    // The record sits at positions 9 to 40 of the reply: a line may only come from a
    // reply whose data (up to position L + 4) reaches that far.
    if (!h.files.lines("Dump00.csv").empty()) {
      require(!s.NoComms, "lines written without an answer");
      require_sound_reply(s, 19);
      require(s.RxBuffer[4] + 4 >= 40, "lines written from a reply too short for a record");
    }
  }
  return 0;
}
