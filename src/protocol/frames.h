#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "platform/bytes.h"

namespace tavric {

// The frames of both protocol generations begin with this byte.
inline constexpr Byte kStartByte = 0x5E;

// Legacy frames, counted from 0: start byte 0x5E, three address bytes 0xFF, the length
// at 4, the status at 5 (0 in a request, 1 in a good reply), the payload from 6 on, then
// a two-byte sum (high byte first) over everything after the start byte and the end
// byte 0x5F. A request ends with three zeros more.
inline constexpr Byte kLegacyEndByte = 0x5F;
inline constexpr std::size_t kLegacyLengthAt = 4;
inline constexpr std::size_t kLegacyPayloadAt = 6;
inline constexpr std::size_t kLegacyShortestReply = 14;
inline constexpr std::size_t kLegacyLongestReply = 142;

// A legacy request being built: the command and its four arguments.
class LegacyRequest {
 public:
  LegacyRequest() = default;
  LegacyRequest(std::initializer_list<double> payload) {
    for (const double b : payload) TxAdd(b);
  }

  // Appends one payload byte. A value is rounded to a whole number (half to even); a
  // negative one appends 0, and so does one too large for the request's 16-bit element.
  void TxAdd(double xByte);

  // The whole frame as it goes on the line. The sum covers the elements as given, so a
  // value above 255 counts whole in the sum and with its low byte on the line.
  Bytes frame() const;

 private:
  std::vector<std::int16_t> payload_;
};

// Whether a complete reply of `reply.size()` bytes is sound: 14..142 bytes long, status
// 1, the end byte last and a matching sum.
bool LegacyReplySound(ByteView reply);

// v5 frames, counted from 0: start byte 0x5E, two address bytes (0xFF asks any server),
// at 3 the count L of the bytes from the status on up to the check, the status at 4 (0
// in a request, 1 in a good reply), the command at 5 and its data after it, then the
// CRC-16 of everything after the start byte, low byte first. A frame is L + 6 bytes.
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
