#pragma once

#include <cstdint>
#include <optional>

#include "platform/bytes.h"
#include "readings/record.h"

namespace tavric {

// A 36-byte frame of the bulk stream: 0x4E, frame number (big-endian), the 32 record
// bytes, 0x4F.
struct StreamFrame {
  std::int32_t number = 0;
  bool intact = false;  // record check 0 and end byte 0x4F
  RecordBytes record{};
};

// Finds the frames in the bulk stream one byte at a time. Bytes are dropped while a
// start byte is sought, and the pair 0x4F 0x4E starts a new frame wherever it stands,
// so a frame cut short is abandoned and the next one is read normally.
class FrameParser {
 public:
  // Takes the next byte; gives the frame this byte completes, if any.
  std::optional<StreamFrame> feed(Byte c);
  // Bytes still to come of the frame in progress (a whole frame while one is sought).
  int bytes_to_frame_end() const { return kLength - position_; }
  // Frames abandoned part way by a 0x4F 0x4E pair so far: no frame is given for them,
  // yet the stream lost one there.
  std::int64_t frames_cut() const { return cut_; }

  static constexpr int kLength = 36;

 private:
  int position_ = 0;  // bytes of the current frame taken so far; 0 = seeking a start
  std::optional<Byte> previous_;
  std::int32_t check_ = 65535;
  std::int64_t cut_ = 0;
  StreamFrame frame_;
};

}  // namespace tavric
