#include "readings/bulk_download.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "platform/run_control.h"
#include "protocol/exchange_support.h"
#include "protocol/v5_exchange.h"
#include "readings/fetch.h"
#include "readings/frame_parser.h"
#include "readings/record_text.h"
#include "readings/record_writer.h"
#include "session/feedback.h"

namespace tavric {
namespace {

constexpr MonoTime kSilence = std::chrono::seconds(5);
constexpr std::size_t kFrameLength = 36;
constexpr std::size_t kFrameSlack = 100;
constexpr std::int32_t kMaxFrame = 65535;  // frame numbers are 16 bits

// Which slots of the run are on disk, counted 1.. from the read pointer: one bit each,
// the only memory the download keeps beyond the frame in progress. A frame proves its
// slot only when its number follows the number of the intact frame before it: a bit
// flipped in a number would otherwise mark a slot as delivered that never was.
class SlotLedger {
 public:
  explicit SlotLedger(std::int32_t slots) : done_(static_cast<std::size_t>(slots) + 1) {}
  std::int32_t slots() const { return static_cast<std::int32_t>(done_.size()) - 1; }
  bool done(std::int32_t n) const { return done_[static_cast<std::size_t>(n)]; }
  void mark(std::int32_t n) {
    if (!done_[static_cast<std::size_t>(n)]) ++count_;
    done_[static_cast<std::size_t>(n)] = true;
  }
  // Slots 1..`required` not on disk.
  std::int32_t missing(std::int32_t required) const {
    std::int32_t n = 0;
    for (std::int32_t i = 1; i <= required; ++i) n += done(i) ? 0 : 1;
    return n;
  }

 private:
  std::vector<bool> done_;  // index 0 unused
  std::int32_t count_ = 0;
};

// Settings records, invalid kinds, probe id 0 and clocks that cannot be decoded give no
// line in the stream; their frames still count as delivered.
void write_frame(Session& s, const StreamFrame& frame, const VoltageTable& volts) {
  const RecordResult result = DecodeRecord(frame.record, true, RecordRules::Stream, volts);
  if (result.verdict == RecordVerdict::Reading) WriteRecordLines(s, LinesFor(result));
}

// Decides which frames prove their slots. A frame's number is taken as true when the
// intact frame next to it in the stream carries the number one below or one above it;
// a frame with no such neighbour (a number with a flipped bit, one repeated with another
// record, the frame after a damaged one) is treated as damaged, and the slots it might
// stand for are fetched singly after the stream. A frame waiting for its successor to
// vouch for it is the one frame held back.
class FrameSequence {
 public:
  // Takes the next intact frame; gives the frames it proves, oldest first.
  std::vector<StreamFrame> take(const StreamFrame& frame) {
    std::vector<StreamFrame> proven;
    if (held_ && frame.number == held_->number + 1) proven.push_back(*held_);
    held_.reset();
    if (frame.number == previous_ + 1 || !proven.empty()) {
      proven.push_back(frame);
    } else {
      held_ = frame;
    }
    previous_ = frame.number;
    return proven;
  }

 private:
  std::int32_t previous_ = 0;  // the number of the last intact frame; 0 before the first
  std::optional<StreamFrame> held_;
};

// Handles one complete frame; true when it is the last one the run expects, proven.
bool complete_frame(Session& s, const StreamFrame& frame, std::int32_t T, SlotLedger& ledger,
                    FrameSequence& sequence, const VoltageTable& volts) {
  bool last = false;
  if (frame.intact) {
    for (const StreamFrame& f : sequence.take(frame)) {
      const std::int32_t n = f.number;
      // A frame sent twice is written once.
      if (n >= 1 && n <= ledger.slots() && !ledger.done(n)) {
        write_frame(s, f, volts);
        ledger.mark(n);
      }
      last = last || n == T;
    }
  }
  const std::int32_t n = frame.number;
  SetProgress(s, static_cast<long long>(static_cast<double>(n) / T * 100));
  ShowEvent(s, "Loading readings ... " + std::to_string(n) + "/" + std::to_string(T) + ".");
  return last;
}

// Fetches each slot 1..`required` the stream did not prove, one by one, until all are
// written or the line fails. This also brings in kind-0 readings: they carry no check of
// their own, so their frames fail the stream's check.
void repair_missing(Session& s, std::int32_t required, SlotLedger& ledger) {
  for (std::int32_t n = 1; n <= required; ++n) {
    if (ledger.done(n)) continue;
    const auto slot =
        static_cast<std::int32_t>((std::int64_t{s.ReadPointer} + n - 1) % s.BufferSize);
    // With the slot in range, the only fault left is a record clock that cannot be
    // decoded; the stream passes over such a record too.
    skip_on_fault([&] { GetReading(s, slot); });
    if (s.NoComms) return;
    ledger.mark(n);
  }
}

bool request_can_be_formed(const Session& s, std::int64_t steps) {
  return steps >= 0 && steps <= std::numeric_limits<std::int32_t>::max() && s.ReadPointer >= 0 &&
         s.ReadPointer <= 65535 && s.NewReadings <= kMaxFrame;
}

}  // namespace

void DumpAll(Session& s) {
  const std::int32_t T = s.NewReadings;
  if (T < 1) return;
  const std::int64_t steps = v5_clock_steps(s.p.clock.local_now());
  // A clock before 2000, a slot beyond 16 bits or more frames than the stream can
  // number: the request is not sent, and the run keeps the server's store.
  if (!request_can_be_formed(s, steps)) {
    s.NoComms = true;
    return;
  }
  const VoltageTable volts = BuildVoltageTable();

  SetLed(s, 0, "G");
  SetLed(s, 1, "N");
  const int request[] = {4,
                         static_cast<int>((steps >> 24) & 0xFF),
                         static_cast<int>((steps >> 16) & 0xFF),
                         static_cast<int>((steps >> 8) & 0xFF),
                         static_cast<int>(steps & 0xFF),
                         s.ReadPointer / 256,
                         s.ReadPointer % 256,
                         0};
  for (int byte : request) v5Add(s, byte);
  v5Transmit(s);
  SetLed(s, 0, "N");
  if (s.NoComms) return;

  // Frames are decoded and written as they complete; nothing else is kept.
  Clock& clock = s.p.clock;
  SerialPort& port = s.p.port;
  FrameParser parser;
  // Every slot from the read pointer up to the write pointer must be on disk before the
  // store may be cleared, whatever the frame numbers say; the stream's frames beyond
  // them are written as they come.
  const std::int32_t required =
      s.BufferSize > 0
          ? ((s.WritePointer - s.ReadPointer) % s.BufferSize + s.BufferSize) % s.BufferSize
          : 0;
  SlotLedger ledger(std::max(T, required));
  FrameSequence sequence;
  bool receiving = false;
  bool last_seen = false;
  MonoTime silence_start = clock.monotonic();
  MonoTime flushed = silence_start;
  // A line that never goes quiet would keep the stream going for ever: it ends once it
  // has brought more than T frames and a hundred more (repeats, noise), or the time
  // that takes at the line speed with a few silence waits has passed.
  AttemptLimit limit(s, silence_start, (static_cast<std::size_t>(T) + kFrameSlack) * kFrameLength,
                     4 * kSilence);
  for (;;) {
    const MonoTime deadline = std::min(silence_start + kSilence, limit.deadline());
    if (last_seen || clock.monotonic() >= deadline) break;
    // Woken once the frame in progress can be complete, not for every byte of it.
    port.wait_for_input(deadline, WindowEvents::Process,
                        static_cast<std::size_t>(parser.bytes_to_frame_end()));
    if (port.in_buffer_count() == 0) continue;
    const Bytes chunk = port.input();
    if (limit.take(chunk.size())) break;
    receiving = true;
    SetLed(s, 1, "G");
    for (Byte c : chunk) {
      const auto frame = parser.feed(c);
      // After the last frame the rest of the chunk is dropped.
      if (frame && complete_frame(s, *frame, T, ledger, sequence, volts)) {
        last_seen = true;
        break;
      }
    }
    silence_start = port.last_arrival();
    // A long stream goes to the trace a second at a time, not at its end only.
    if (clock.monotonic() - flushed >= std::chrono::seconds(1)) {
      log_flush(s.p.log);
      flushed = clock.monotonic();
    }
  }
  log_flush(s.p.log);

  // Nothing at all after the answer: the server did not stream, and the run keeps
  // its store. A stream that did come is made whole from single fetches.
  if (!receiving) {
    s.NoComms = true;
    NoteMissing(s, required);
    return;
  }
  s.NoComms = false;
  repair_missing(s, required, ledger);
  NoteMissing(s, ledger.missing(required));
}

}  // namespace tavric
