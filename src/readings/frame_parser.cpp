#include "readings/frame_parser.h"

#include "protocol/crc.h"

namespace tavric {
namespace {

constexpr Byte kStart = 0x4E;
constexpr Byte kEnd = 0x4F;

}  // namespace

std::optional<StreamFrame> FrameParser::feed(Byte c) {
  std::optional<StreamFrame> done;
  if (previous_ == kEnd && c == kStart) {
    if (position_ > 0) ++cut_;
    position_ = 0;
  }
  previous_ = c;
  ++position_;
  if (position_ == 1) {
    check_ = 65535;
    if (c != kStart) position_ = 0;
  } else if (position_ == 2) {
    frame_.number = c * 256;
  } else if (position_ == 3) {
    frame_.number += c;
  } else if (position_ < kLength) {
    frame_.record[static_cast<std::size_t>(position_ - 4)] = c;
    update_crc(check_, c);
  } else {
    position_ = 0;
    frame_.intact = check_ == 0 && c == kEnd;
    done = frame_;
  }
  return done;
}

}  // namespace tavric
