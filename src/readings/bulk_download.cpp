#include "readings/bulk_download.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "platform/run_control.h"
#include "protocol/v5_exchange.h"
#include "readings/fetch.h"
#include "readings/frame_parser.h"
#include "readings/record_text.h"
#include "readings/record_writer.h"
#include "session/feedback.h"

namespace tavric {
namespace {

constexpr MonoTime kSilence = std::chrono::seconds(5);
// A stream that keeps bringing bytes but no new frame for this long has stalled.
constexpr MonoTime kStall = 3 * kSilence;
constexpr std::size_t kFrameLength = 36;
constexpr std::size_t kFrameSlack = 100;
constexpr std::int32_t kMaxFrame = 65535;  // frame numbers are 16 bits

// Which slots of the run are on disk, counted 1.. from the read pointer: one bit each,
// the only memory the download keeps beyond the frame in progress.
class SlotLedger {
 public:
  explicit SlotLedger(std::int32_t slots) : done_(static_cast<std::size_t>(slots) + 1) {}
  std::int32_t slots() const { return static_cast<std::int32_t>(done_.size()) - 1; }
  std::int32_t count() const { return count_; }
  bool done(std::int32_t n) const { return done_[static_cast<std::size_t>(n)]; }
  void mark(std::int32_t n) {
    if (!done_[static_cast<std::size_t>(n)]) ++count_;
    done_[static_cast<std::size_t>(n)] = true;
  }
  std::int32_t missing() const { return slots() - count_; }

 private:
  std::vector<bool> done_;  // index 0 unused
  std::int32_t count_ = 0;
};

// Settings records, invalid kinds, probe id 0 and clocks that cannot be decoded give no
// line in the stream; their frames still count as delivered.
void write_frame(RecordWriter& out, const StreamFrame& frame, const VoltageTable& volts) {
  const RecordResult result = DecodeRecord(frame.record, true, RecordRules::Stream, volts);
  if (result.verdict == RecordVerdict::Reading) out.WriteRecordLines(LinesFor(result));
}

// Decides which frames prove their slots. A frame's number is taken as true when the
// intact frame next to it in the stream carries the number one below or one above it;
// a frame with no such neighbour (a number with a flipped bit, one repeated with another
// record) is treated as damaged, and the slots it might stand for are fetched singly
// after the stream. A frame waiting for its successor to vouch for it is the one frame
// held back.
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
  // A damaged or cut frame stands between the last intact frame and the next: the
  // number before the damage proves nothing about the frame after it, which is
  // proven only by its own successor. The frame held back loses its successor too.
  void restart() {
    previous_ = kNone;
    held_.reset();
  }

 private:
  static constexpr std::int32_t kNone = -2;  // no frame number follows it
  std::int32_t previous_ = 0;  // the number of the last intact frame; 0 before the first
  std::optional<StreamFrame> held_;
};

// The stream in progress: which slots it proved, how far it got, and whether it ended.
class Stream {
 public:
  Stream(RecordWriter& out, Feedback& feedback, std::int32_t T, std::int32_t expected,
         const VoltageTable& volts)
      : out_(out), feedback_(feedback), T_(T), ledger_(expected), volts_(volts) {}

  // Takes one byte; true when it completed the last frame of the stream.
  bool feed(Byte c) {
    ++bytes_;
    const std::int64_t cut = parser_.frames_cut();
    const auto frame = parser_.feed(c);
    if (parser_.frames_cut() != cut) sequence_.restart();
    return frame && complete(*frame);
  }
  // Whether the stream brought something new since the last call: a slot proven, or a
  // frame numbered beyond every one before.
  bool progressed() {
    const bool news = ledger_.count() > proven_ || highest_ > highest_seen_;
    proven_ = ledger_.count();
    highest_seen_ = highest_;
    return news;
  }
  int bytes_to_frame_end() const { return parser_.bytes_to_frame_end(); }
  SlotLedger& ledger() { return ledger_; }

 private:
  bool complete(const StreamFrame& frame) {
    highest_ = std::max(highest_, frame.number);
    if (frame.intact) {
      for (const StreamFrame& f : sequence_.take(frame)) {
        const std::int32_t n = f.number;
        // A frame sent twice is written once.
        if (n >= 1 && n <= ledger_.slots() && !ledger_.done(n)) {
          write_frame(out_, f, volts_);
          ledger_.mark(n);
        }
      }
    } else {
      sequence_.restart();
    }
    const std::int32_t n = frame.number;
    feedback_.SetProgress(static_cast<long long>(static_cast<double>(n) / T_ * 100));
    feedback_.ShowEvent("Loading readings ... " + std::to_string(n) + "/" + std::to_string(T_) +
                        ".");
    // The last frame ends the stream as it arrives, proven or not (an unproven one is
    // fetched singly like any other slot), but only where the stream's length puts it:
    // a frame whose number was flipped to the last one comes too early to end it.
    // Damaged and cut frames still take their room in the stream, and frames sent twice
    // come later, never earlier, so the stream may have brought more than that.
    const std::int32_t last = ledger_.slots();
    return frame.intact && n == last &&
           bytes_ >= static_cast<std::int64_t>(last) * FrameParser::kLength;
  }

  RecordWriter& out_;
  Feedback& feedback_;
  std::int32_t T_;
  SlotLedger ledger_;
  const VoltageTable& volts_;
  FrameParser parser_;
  FrameSequence sequence_;
  std::int64_t bytes_ = 0;  // stream bytes taken so far
  std::int32_t highest_ = 0;
  std::int32_t highest_seen_ = 0;
  std::int32_t proven_ = 0;
};

std::string loading_text(std::int32_t i, std::int32_t n) {
  return "Loading reading " + std::to_string(i) + "/" + std::to_string(n);
}

// Fetches each slot the stream did not prove, one by one, until all are written or
// the line fails. This also brings in kind-0 readings: they carry no check of their
// own, so their frames fail the stream's check. The event line and the progress bar
// follow these fetches, which may be many.
bool repair_missing(Line& line, RecordWriter& out, const ServerStatus& status, SlotLedger& ledger) {
  const std::int32_t total = ledger.missing();
  if (total == 0 || status.BufferSize <= 0) return true;
  log_note(line.log, std::to_string(total) + (total == 1 ? " reading" : " readings") +
                         " of the stream to fetch one by one");
  std::int32_t i = 0;
  for (std::int32_t n = 1; n <= ledger.slots(); ++n) {
    if (ledger.done(n)) continue;
    ++i;
    line.feedback.SetProgress(static_cast<long long>(100.0 * i / total));
    line.feedback.ShowEvent(loading_text(i, total));
    const auto slot =
        static_cast<std::int32_t>((std::int64_t{status.ReadPointer} + n - 1) % status.BufferSize);
    // With the slot in range, the only fault left is a record clock that cannot be
    // decoded, after the server has answered; the stream passes over such a record too.
    bool answered = true;
    skip_on_fault([&] { answered = GetReading(line, out, slot); });
    if (!answered) return false;
    ledger.mark(n);
  }
  return true;
}

bool request_can_be_formed(const ServerStatus& status, std::int64_t steps, std::int32_t expected) {
  return steps >= 0 && steps <= std::numeric_limits<std::int32_t>::max() &&
         status.ReadPointer >= 0 && status.ReadPointer <= 65535 && expected <= kMaxFrame;
}

}  // namespace

std::int32_t StreamLength(const ServerStatus& status) {
  const std::int32_t T = status.NewReadings;
  const std::int32_t size = status.BufferSize;
  if (size <= 0) return T;
  const std::int32_t distance = ((status.WritePointer - status.ReadPointer) % size + size) % size;
  // A store cannot hold more readings than it has slots, whatever the count says.
  return std::min(std::max(T, distance), size);
}

DumpResult DumpAll(Line& line, RecordWriter& out, const ServerStatus& status) {
  const std::int32_t T = status.NewReadings;
  if (T < 1) return {true, 0};
  // Every reading the status told of must be on disk before the store may be cleared:
  // the slots up to the write pointer, and as many as the count says when that is more
  // (a full store, where the two pointers meet).
  const std::int32_t expected = StreamLength(status);
  const std::int64_t steps = v5_clock_steps(line.clock.local_now());
  // A clock before 2000, a slot beyond 16 bits or more frames than the stream can
  // number: the request is not sent, and the run keeps the server's store.
  if (!request_can_be_formed(status, steps, expected)) return {false, 0};
  const VoltageTable volts = BuildVoltageTable();

  Feedback& feedback = line.feedback;
  feedback.SetLed(0, "G");
  feedback.SetLed(1, "N");
  const int request_bytes[] = {4,
                               static_cast<int>((steps >> 24) & 0xFF),
                               static_cast<int>((steps >> 16) & 0xFF),
                               static_cast<int>((steps >> 8) & 0xFF),
                               static_cast<int>(steps & 0xFF),
                               status.ReadPointer / 256,
                               status.ReadPointer % 256,
                               0};
  V5Request request;
  for (int byte : request_bytes) request.v5Add(byte);
  Reply answer;
  const bool answered = v5Transmit(line, request, answer);
  feedback.SetLed(0, "N");
  if (!answered) return {false, 0};

  // Frames are decoded and written as they complete; nothing else is kept.
  Clock& clock = line.clock;
  SerialPort& port = line.port;
  Stream stream(out, feedback, T, expected, volts);
  bool receiving = false;
  bool ended = false;
  MonoTime silence_start = clock.monotonic();
  MonoTime progress_at = silence_start;
  MonoTime flushed = silence_start;
  // A line that never goes quiet would keep the stream going for ever. It ends once it
  // has brought the stream's frames and a hundred more (repeats, noise), or once no new
  // frame has come for a while; a slow line that keeps bringing frames is waited for.
  std::size_t bytes_left = (static_cast<std::size_t>(expected) + kFrameSlack) * kFrameLength;
  for (;;) {
    const MonoTime deadline = std::min(silence_start + kSilence, progress_at + kStall);
    if (ended || clock.monotonic() >= deadline) break;
    // Woken once the frame in progress can be complete, not for every byte of it.
    port.wait_for_input(deadline, WindowEvents::Process,
                        static_cast<std::size_t>(stream.bytes_to_frame_end()));
    if (port.in_buffer_count() == 0) continue;
    const Bytes chunk = port.input();
    if (chunk.size() > bytes_left) break;
    bytes_left -= chunk.size();
    receiving = true;
    feedback.SetLed(1, "G");
    for (Byte c : chunk) {
      // After the last frame the rest of the chunk is dropped.
      if (stream.feed(c)) {
        ended = true;
        break;
      }
    }
    silence_start = port.last_arrival();
    if (stream.progressed()) progress_at = clock.monotonic();
    // A long stream goes to the trace a second at a time, not at its end only.
    if (clock.monotonic() - flushed >= std::chrono::seconds(1)) {
      log_flush(line.log);
      flushed = clock.monotonic();
    }
  }
  log_flush(line.log);

  // Nothing at all after the answer: the server did not stream, and the run keeps
  // its store. A stream that did come is made whole from single fetches.
  if (!receiving) return {false, expected};
  const bool held = repair_missing(line, out, status, stream.ledger());
  return {held, stream.ledger().missing()};
}

}  // namespace tavric
