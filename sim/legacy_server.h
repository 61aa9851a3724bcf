#pragma once

#include <chrono>
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

// A server of the legacy generation. It answers 17-byte requests (start byte, three
// address bytes, length 14, status, command, four arguments, sum, end byte, three
// zero bytes) with 14-byte replies, or 142-byte replies for a data block:
//   0 read block (args: block high, low)  1 count of blocks holding data
//   3 clear the store                      9 / 11 read date / time of day
//   10 / 12 set date / time of day         14 change the line speed (1: 56000, 0: 9600)
// Records are kept four to a block, the first block being number 64; a block with no
// record reads as 128 bytes of 0xFF, and the unused records of the last block too.
class LegacyServer : public LineDevice {
 public:
  static constexpr int kFirstBlock = 64;

  struct Config {
    std::vector<Record> records;                          // the store, oldest first
    LocalDateTime clock{2012, 2, 29, 13, 30, 0};          // the server clock at attach()
    MonoTime turnaround = std::chrono::milliseconds(20);  // request end to reply start
    int baud = 9600;                                      // speed at start
    // The count command 1 gives until the store is cleared; -1: the blocks that hold
    // records. A count past the last block that can be asked for needs no store.
    int reported_blocks = -1;
    FaultPlan faults;
  };

  LegacyServer() : LegacyServer(Config{}) {}
  explicit LegacyServer(Config config);

  void attach(LineEnd& line) override;
  void receive(ByteView bytes, MonoTime at) override;
  void control_lines(bool dtr, bool rts, MonoTime at) override;

  // What the client asked for, in order.
  const std::vector<ReceivedRequest>& requests() const { return log_; }
  std::vector<int> commands() const;
  // The store and state now.
  const std::vector<Record>& records() const { return records_; }
  int block_count() const;  // blocks holding at least one record: the count command 1 gives
  int baud() const { return baud_; }
  LocalDateTime clock_at(MonoTime t) const;
  // Every clock value set by commands 10 and 12, as the server clock read just after.
  const std::vector<LocalDateTime>& clock_sets() const { return clock_sets_; }
  int clear_count() const { return clears_; }

 private:
  void handle(const ParsedRequest& request, MonoTime at);
  Bytes reply_data(const ParsedRequest& request, int number, MonoTime at);
  Bytes block_data(int block) const;

  Config config_;
  LineEnd* line_ = nullptr;
  RequestParser parser_{RequestParser::Generation::Legacy};
  ReplySender sender_;
  std::vector<Record> records_;
  std::int64_t clock_base_s_ = 0;  // server clock, seconds since 2000, at clock_base_at_
  MonoTime clock_base_at_{0};
  int baud_ = 9600;
  std::vector<ReceivedRequest> log_;
  std::vector<LocalDateTime> clock_sets_;
  int clears_ = 0;
};

}  // namespace tavric::sim
