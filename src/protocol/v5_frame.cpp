#include "protocol/v5_frame.h"

#include "protocol/crc.h"

namespace tavric {

Bytes V5Request::frame() const {
  Bytes frame{kV5StartByte, kV5AnyAddress, kV5AnyAddress,
              static_cast<Byte>((payload_.size() + 1) & 0xFF), 0};
  frame.insert(frame.end(), payload_.begin(), payload_.end());
  GenerateCRC(frame);
  return frame;
}

bool V5ReplyAnswers(ByteView request, ByteView reply) {
  if (request.size() < 6 || reply.size() < 6) return false;
  if (request[1] != kV5AnyAddress && reply[1] != request[1]) return false;
  if (request[2] != kV5AnyAddress && reply[2] != request[2]) return false;
  return reply[4] == 1 && reply[5] == request[5];
}

}  // namespace tavric
