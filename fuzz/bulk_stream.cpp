// The bulk stream: the frame parser with record decoding, and the whole bulk download
// (request, stream, repair of missing frames) against a line that streams what the
// fuzzer wrote.
//
// Input: [mode][T][read pointer hi, lo][store size hi, lo][flags] then, for mode 0, the
// stream itself; for mode 1, arrivals (see read_chunks). In mode 1 the line answers
// the bulk request (flags bit 0) and each single-reading request (bit 1) correctly.

#include "fuzz/fuzz_host.h"
#include "platform/run_control.h"
#include "protocol/crc.h"
#include "readings/bulk_download.h"
#include "readings/frame_parser.h"
#include "readings/output_files.h"
#include "readings/record_text.h"

namespace tavric::fuzz {
namespace {

// A frame the parser completes with byte `at` is the 36 bytes up to it, begun by 0x4E,
// with no 0x4F 0x4E pair inside (that pair starts a new frame).
void require_frame_matches(const Bytes& in, std::size_t at, const StreamFrame& f) {
  require(at >= 35, "a frame of fewer than 36 bytes");
  const std::size_t first = at - 35;
  require(in[first] == 0x4E, "a frame without its start byte");
  for (std::size_t j = first + 1; j <= at; ++j) {
    require(!(in[j - 1] == 0x4F && in[j] == 0x4E), "a frame across a frame boundary");
  }
  require(f.number == in[first + 1] * 256 + in[first + 2], "frame number");
  RecordBytes record;
  std::copy(in.begin() + static_cast<long>(first + 3), in.begin() + static_cast<long>(at),
            record.begin());
  require(f.record == record, "frame record");
  require(f.intact == (RecordCheck(record) == 0 && in[at] == 0x4F), "frame verdict");
}

void parse_stream(const Bytes& in) {
  const VoltageTable volts = BuildVoltageTable();
  FrameParser parser;
  for (std::size_t i = 0; i < in.size(); ++i) {
    const auto frame = parser.feed(in[i]);
    if (!frame) continue;
    require_frame_matches(in, i, *frame);
    const RecordResult result =
        DecodeRecord(frame->record, frame->intact, RecordRules::Stream, volts);
    // The stream writes readings only, and only from intact frames.
    require(result.verdict == RecordVerdict::Reading || result.verdict == RecordVerdict::Dropped ||
                result.verdict == RecordVerdict::BadClock,
            "a marker from the stream");
    if (result.verdict == RecordVerdict::Reading) require(frame->intact, "a damaged frame decoded");
  }
}

Bytes v5_reply(int command, const Bytes& data) {
  Bytes f{0x5E, 0xFF, 0xFF, static_cast<Byte>(data.size() + 2), 0x01, static_cast<Byte>(command)};
  f.insert(f.end(), data.begin(), data.end());
  std::int32_t crc = 0xFFFF;
  for (std::size_t i = 1; i < f.size(); ++i) update_crc(crc, f[i]);
  f.push_back(static_cast<Byte>(crc & 0xFF));
  f.push_back(static_cast<Byte>(crc >> 8));
  return f;
}

// A sealed kind-1 reading for a slot, as a server answering command 19 sends it.
Bytes slot_record(int slot) {
  Bytes r(32, 0);
  r[0] = 0x1A;
  r[1] = static_cast<Byte>((slot + 1) >> 8);
  r[2] = static_cast<Byte>(slot + 1);
  r[5] = 0x10;
  r[7] = static_cast<Byte>(slot);
  std::int32_t crc = 0xFFFF;
  for (std::size_t i = 0; i < 30; ++i) update_crc(crc, r[i]);
  r[30] = static_cast<Byte>(crc & 0xFF);
  r[31] = static_cast<Byte>(crc >> 8);
  return r;
}

}  // namespace
}  // namespace tavric::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavric;
  using namespace tavric::fuzz;
  Reader r(data, size);
  const int mode = r.byte() % 2;
  const int T = 1 + r.byte() % 64;
  const int read_pointer = r.byte() * 256 + r.byte();
  const int store_size = r.byte() * 256 + r.byte();
  const Byte flags = r.byte();
  if (mode == 0) {
    const std::string rest = r.text();
    parse_stream(Bytes(rest.begin(), rest.end()));
    return 0;
  }

  FuzzHost h;
  ServerStatus s;
  s.NewReadings = T;
  s.ReadPointer = read_pointer;
  s.BufferSize = store_size;
  // The status reports the new readings as the distance between the pointers.
  if (store_size > 0) s.WritePointer = (read_pointer + T) % store_size;
  h.line.pending = read_chunks(r);
  h.line.on_output = [&](ByteView out) {
    if (out.size() < 7 || out[0] != 0x5E) return;
    const int command = out[5];
    if (command == 4 && (flags & 1)) {
      h.line.pending.push_front({MonoTime{0}, v5_reply(4, {0, static_cast<Byte>(T)})});
    } else if (command == 19 && (flags & 2)) {
      Bytes reply = {out[6], out[7]};
      const Bytes record = slot_record(out[6] * 256 + out[7]);
      reply.insert(reply.end(), record.begin(), record.end());
      h.line.pending.push_front({MonoTime{0}, v5_reply(19, reply)});
    }
  };
  h.run.output.PrepareOutputFiles();
  RecordWriter out = h.run.writer();
  skip_on_fault([&] { DumpAll(h.run.line, out, s); });
  h.run.output.CloseOutputFiles();
  // Each of the T frames is written once at most, from the stream or repaired; the new
  // probe data file starts with its header line.
  const auto probe = h.files.lines("Tavric Probe Data.csv");
  require(probe.size() <= static_cast<std::size_t>(T) + 1, "more readings than frames");
  return 0;
}
