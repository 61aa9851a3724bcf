#pragma once

#include <cstddef>

#include "platform/bytes.h"

namespace tavric {

// v5 frames, counted from 0: start byte 0x5E, two address bytes (0xFF asks any server),
// at 3 the count L of the bytes from the status on up to the check, the status at 4 (0
// in a request, 1 in a good reply), the command at 5 and its data after it, then the
// CRC-16 of everything after the start byte, low byte first. A frame is L + 6 bytes.
inline constexpr Byte kV5StartByte = 0x5E;
inline constexpr Byte kV5AnyAddress = 0xFF;
inline constexpr std::size_t kV5LengthAt = 3;
inline constexpr std::size_t kV5FrameOverhead = 6;

// A v5 request being built: the command, then its data.
class V5Request {
 public:
  // Appends one byte (the low byte of `xByte`).
  void v5Add(int xByte) { payload_.push_back(static_cast<Byte>(xByte & 0xFF)); }
  // The whole frame with its check, as it goes on the line after a 0x00 lead byte.
  Bytes frame() const;

 private:
  Bytes payload_;
};

// Whether an intact reply answers `request` (both whole frames): from the address asked
// (0xFF asks any), with status 1, echoing the command.
bool V5ReplyAnswers(ByteView request, ByteView reply);

// Where the data of a reply announcing length L ends: one past its last byte, L + 4.
inline std::size_t V5DataEnd(ByteView reply) {
  return reply.size() > kV5LengthAt ? reply[kV5LengthAt] + std::size_t{4} : 0;
}

}  // namespace tavric
