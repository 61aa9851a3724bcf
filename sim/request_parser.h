#pragma once

#include <array>
#include <chrono>
#include <vector>

#include "platform/bytes.h"
#include "platform/clock.h"

namespace tavric::sim {

// A request frame taken off the line, its check verified.
struct ParsedRequest {
  int command = -1;
  Bytes args;
  std::array<Byte, 2> address{0xFF, 0xFF};  // v5: bytes 2 and 3 of the frame
};

// Finds request frames in the bytes a server receives. Bytes before a start byte are
// dropped; a frame with a bad length, end byte or check is dropped from its start byte
// on and the search goes on after it; a frame left incomplete for longer than
// `gap` is abandoned, so a burst of foreign bytes cannot swallow the next request.
class RequestParser {
 public:
  enum class Generation { Legacy, V5 };
  explicit RequestParser(Generation generation, MonoTime gap = std::chrono::milliseconds(250))
      : generation_(generation), gap_(gap) {}

  // Bytes whose last one arrived at `at`; returns the complete requests they finish.
  std::vector<ParsedRequest> feed(ByteView bytes, MonoTime at);
  void reset() { pending_.clear(); }
  // Frames dropped so far for a bad length, end byte or check.
  int rejected() const { return rejected_; }

 private:
  // Tries to take one frame from the front of pending_: 1 taken, 0 need more, -1 bad.
  int take_legacy(ParsedRequest& out);
  int take_v5(ParsedRequest& out);

  Generation generation_;
  MonoTime gap_;
  Bytes pending_;
  MonoTime last_at_{MonoTime::min()};
  int rejected_ = 0;
};

}  // namespace tavric::sim
