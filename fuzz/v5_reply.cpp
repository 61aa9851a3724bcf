// v5 reply collection and check: v5Transmit, the status request and a single reading
// against a line that sends whatever the fuzzer wrote, in pieces and with gaps.
//
// Input: [mode][command][argument count][arguments...][modem] then arrivals.
// mode % 4: 0 one exchange, 1 the status request, 2 GetReading of slot 300, 3 the
// record taken from the reply to that slot's request.

#include "fuzz/fuzz_host.h"
#include "platform/run_control.h"
#include "protocol/crc.h"
#include "protocol/status.h"
#include "protocol/v5_exchange.h"
#include "readings/fetch.h"

namespace tavric::fuzz {
namespace {

// What every accepted v5 reply must be: a frame of L + 6 bytes whose check comes out at
// 0, with status 1 and the request's command echoed.
void require_sound_reply(const Reply& rx, int command) {
  const std::size_t frame = rx[3] + std::size_t{6};
  require(rx.size() >= frame, "accepted a reply shorter than it announces");
  std::int32_t crc = 0xFFFF;
  for (std::size_t i = 1; i < frame; ++i) update_crc(crc, rx[i]);
  require(crc == 0, "accepted a reply with a bad check");
  require(rx[4] == 1 && rx[5] == command, "accepted a bad status or another command");
}

}  // namespace
}  // namespace tavric::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavric;
  using namespace tavric::fuzz;
  Reader r(data, size);
  const int mode = r.byte() % 4;
  const int command = r.byte();
  const Bytes args = r.bytes(r.byte() % 8);
  FuzzHost h;
  Line& line = h.run.line;
  line.call_delay = std::chrono::seconds((r.byte() & 1) * 5);
  h.line.pending = read_chunks(r);

  if (mode == 0) {
    V5Request request;
    request.v5Add(command);
    for (Byte b : args) request.v5Add(b);
    Reply reply;
    if (v5Transmit(line, request, reply)) require_sound_reply(reply, command & 0xFF);
  } else if (mode == 1) {
    // The status is read from the whole reply the exchange took, as the run reads it.
    V5Request request;
    request.v5Add(16);
    request.v5Add(0);
    Reply reply;
    if (v5Transmit(line, request, reply)) {
      require_sound_reply(reply, 16);
      if (const auto status = DecodeV5Status(reply.bytes(), h.clock.local_now(), 0.0F)) {
        // The fields stand at positions 14 to 21: inside the data, which ends before L + 4.
        require(V5DataEnd(reply.bytes()) >= 22, "status read from beyond the reply's data");
        for (std::int32_t v :
             {status->WritePointer, status->ReadPointer, status->BufferSize, status->NewReadings}) {
          require(v >= 0 && v <= 65535, "status field out of range");
        }
      }
    }
  } else if (mode == 3) {
    // Of an answer, a record comes only from data that holds it whole (up to L + 4).
    V5Request request;
    for (int b : {19, 1, 44}) request.v5Add(b);
    Reply reply;
    if (v5Transmit(line, request, reply) && ReadingRecordOf(reply.bytes())) {
      require_sound_reply(reply, 19);
      require(V5DataEnd(reply.bytes()) >= 40, "a record taken from a reply too short for it");
    }
  } else {
    h.run.output.PrepareOutputFiles();
    RecordWriter out = h.run.writer();
    bool answered = false;
    skip_on_fault([&] { answered = GetReading(line, out, 300); });
    h.run.output.CloseOutputFiles();
    // A line may only come from an answer whose data holds a whole record.
    if (h.files.lines("Dump00.csv").size() > 1)
      require(answered, "lines written without an answer");
  }
  return 0;
}
