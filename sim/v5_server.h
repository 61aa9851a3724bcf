#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/calendar.h"
#include "sim/faults.h"
#include "sim/line_device.h"
#include "sim/record.h"
#include "sim/reply_sender.h"
#include "sim/request_log.h"
#include "sim/request_parser.h"

namespace tavric::sim {

// A server of the v5 generation. Requests are a 0x00 byte and the frame 0x5E, address
// (2 bytes), length L, status 0, command, arguments, CRC (low byte first); replies echo
// the command with status 1. Commands:
//   16 status: clock (15-second steps since 2000, top bit set when not valid), write
//      pointer, read pointer, buffer size, new readings
//   19 one record (args: slot high, low): 2 bytes (the slot) then the 32 record bytes
//   4  bulk transfer (args: clock 4 bytes, slot high, low, 0): an answer carrying the
//      frame count T, then T stream frames 0x4E, number (1..T, high byte first), the
//      record, 0x4F, for the slots from the requested one up to the write pointer
//   10 set the clock (args: 4 bytes of 15-second steps)
//   9  clear: the read pointer moves up to the write pointer
// The store is circular: `buffer_size` slots, written at the write pointer, fetched from
// the read pointer, both wrapping to 0 at the end.
class V5Server : public LineDevice {
 public:
  struct Config {
    int buffer_size = 1000;
    int write_pointer = 0;
    // -1: just far enough back that every record of `records` is new.
    int read_pointer = -1;
    // The new readings the status gives until the store is cleared, when that is more
    // than the pointers' distance (-1: the distance). With the two pointers equal and
    // every slot a record, `buffer_size` makes a full store. The stream then carries
    // that many frames.
    int new_readings = -1;
    // Stored in the slots just before the write pointer, the last one in slot
    // write_pointer - 1 (wrapping); slots not covered hold 32 bytes of 0xFF.
    std::vector<Record> records;
    bool clock_valid = true;
    LocalDateTime clock{2012, 3, 4, 14, 0, 0};  // the server clock at attach()
    std::array<Byte, 2> address{0x00, 0x01};    // the unit's own address
    MonoTime turnaround = std::chrono::milliseconds(20);
    MonoTime frame_gap{0};  // pause after each stream frame
    int baud = 9600;
    FaultPlan faults;
  };

  V5Server() : V5Server(Config{}) {}
  explicit V5Server(Config config);

  void attach(LineEnd& line) override;
  void receive(ByteView bytes, MonoTime at) override;

  const std::vector<ReceivedRequest>& requests() const { return log_; }
  std::vector<int> commands() const;
  int buffer_size() const { return static_cast<int>(slots_.size()); }
  int write_pointer() const { return write_pointer_; }
  int read_pointer() const { return read_pointer_; }
  int new_readings() const;  // as the status gives it
  const std::vector<Record>& slots() const { return slots_; }
  bool clock_valid() const { return clock_valid_; }
  LocalDateTime clock_at(MonoTime t) const;
  // Every clock value set by command 10, in 15-second steps since 2000.
  const std::vector<std::int64_t>& clock_sets() const { return clock_sets_; }
  int clear_count() const { return clears_; }
  // Frames sent by the bulk transfers so far (after the fault plan's drops).
  int frames_sent() const { return frames_sent_; }

 private:
  void handle(const ParsedRequest& request, MonoTime at);
  void send_stream(int first_slot, int count, MonoTime from);

  Config config_;
  LineEnd* line_ = nullptr;
  RequestParser parser_{RequestParser::Generation::V5};
  ReplySender sender_;
  std::vector<Record> slots_;
  int write_pointer_ = 0;
  int read_pointer_ = 0;
  bool clock_valid_ = true;
  std::int64_t clock_base_s_ = 0;
  MonoTime clock_base_at_{0};
  std::vector<ReceivedRequest> log_;
  std::vector<std::int64_t> clock_sets_;
  int clears_ = 0;
  int frames_sent_ = 0;
};

}  // namespace tavric::sim
