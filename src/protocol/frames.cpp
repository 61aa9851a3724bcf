#include "protocol/frames.h"

#include <cmath>
#include <limits>

#include "protocol/crc.h"

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
  Bytes frame{kStartByte, 0xFF, 0xFF, 0xFF, low_byte(length), 0};
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

Bytes V5Request::frame() const {
  Bytes frame{kStartByte, kV5AnyAddress, kV5AnyAddress,
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
