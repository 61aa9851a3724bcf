#include "protocol/crc.h"

namespace tavric {

void GenerateCRC(Bytes& frame) {
  // The start byte is left out; the covered span ends where the frame ends now, before
  // the two check bytes are appended.
  std::int32_t crc = 0xFFFF;
  for (std::size_t i = 1; i < frame.size(); ++i) update_crc(crc, frame[i]);
  frame.push_back(static_cast<Byte>(crc % 256));
  frame.push_back(static_cast<Byte>(crc / 256));
}

}  // namespace tavric
