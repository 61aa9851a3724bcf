#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "platform/bytes.h"

namespace tavric {

// Legacy frames, counted from 0: start byte 0x5E, three address bytes 0xFF, the length
// at 4, the status at 5 (0 in a request, 1 in a good reply), the payload from 6 on, then
// a two-byte sum (high byte first) over everything after the start byte and the end
// byte 0x5F. A request ends with three zeros more.
inline constexpr Byte kLegacyStartByte = 0x5E;
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

}  // namespace tavric
