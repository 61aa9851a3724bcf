#include "protocol/legacy_frame.h"

#include <cmath>
#include <limits>

namespace tavric {
namespace {

Byte low_byte(std::int32_t value) {
  return static_cast<Byte>(value & 0xFF);
}

// The 16-bit element a value becomes; see TxAdd.
std::int16_t element(double x) {
  const double whole = x < 0 ? 0.0 : std::nearbyint(x);
  return whole <= std::numeric_limits<std::int16_t>::max() ? static_cast<std::int16_t>(whole) : 0;
}

std::int32_t sum_of(ByteView bytes) {
  std::int32_t sum = 0;
  for (const Byte b : bytes) sum += b;
  return sum;
}

}  // namespace

void LegacyRequest::TxAdd(double xByte) {
  payload_.push_back(element(xByte));
}

Bytes LegacyRequest::frame() const {
  const auto length = static_cast<std::int32_t>(kLegacyPayloadAt + payload_.size() + 3);
  Bytes frame{kLegacyStartByte, 0xFF, 0xFF, 0xFF, low_byte(length), 0};
  std::int32_t sum = 3 * 0xFF + length;
  for (const std::int16_t e : payload_) {
    frame.push_back(low_byte(e));
    sum += e;
  }
  frame.push_back(low_byte(element(sum / 256)));
  frame.push_back(low_byte(element(sum % 256)));
  frame.insert(frame.end(), {kLegacyEndByte, 0, 0, 0});
  return frame;
}

bool LegacyReplySound(ByteView reply) {
  const std::size_t n = reply.size();
  if (n < kLegacyShortestReply || n > kLegacyLongestReply) return false;
  if (reply[5] != 1 || reply[n - 1] != kLegacyEndByte) return false;
  const std::int32_t sum = sum_of(reply.subspan(1, n - 4));
  return reply[n - 3] == sum / 256 && reply[n - 2] == sum % 256;
}

}  // namespace tavric
