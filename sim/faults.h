#pragma once

#include <set>
#include <string>

namespace tavric::sim {

// Which exchanges of a simulated server go wrong, and how. Requests are counted from
// 1 in the order the server accepted them (a retry counts as a new request), stream
// frames from 1 in the order of their frame numbers.
struct FaultPlan {
  std::set<int> silent;               // requests that get no reply at all
  std::set<int> noise;                // replies after line noise that holds a false start byte
  std::set<int> bad_check;            // replies with a wrong checksum (legacy) or CRC (v5)
  std::set<int> status_0;             // requests refused: not carried out, status 0
  std::set<int> bad_end;              // legacy replies whose last byte is not the end byte
  std::set<int> wrong_echo;           // v5 replies that echo another command
  std::set<int> foreign_address;      // v5 replies from another unit's address
  std::set<int> wrong_block;          // legacy block replies that carry the previous block
  std::set<int> cut_short;            // replies of which only the first half is sent
  int dies_after = 0;                 // the link goes dead after this many requests (0: never)
  bool ignores_speed_change = false;  // legacy: answers command 14 but keeps its speed

  std::set<int> damaged_frames;     // stream frames whose record check fails
  std::set<int> dropped_frames;     // stream frames never sent
  int stream_breaks_after = 0;      // the stream stops after this many frames (0: never)
  std::set<int> frame_number_low;   // stream frames that carry the number one below theirs
  std::set<int> frame_number_high;  // stream frames that carry the number one above theirs
  std::set<int> repeated_frames;    // stream frames sent twice in a row
  bool slow_stream = false;         // the stream comes at half the line speed, with pauses

  bool empty() const;
};

// Reads one fault item of the form name[=value] (for example "silent=2,5",
// "dies-after=10", "ignores-speed-change") into `plan`. Returns an error text, or an
// empty text when the item was understood.
std::string add_fault(FaultPlan& plan, const std::string& item);

// The fault names add_fault() understands, one line each with its meaning.
std::string fault_help();

}  // namespace tavric::sim
