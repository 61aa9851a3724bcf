#include "sim/endless_bytes.h"

#include <algorithm>
#include <chrono>

namespace tavric::sim {
namespace {

constexpr MonoTime kAhead = std::chrono::seconds(10);
constexpr int kBaud = 9600;

}  // namespace

Byte EndlessBytes::next() {
  switch (kind_) {
    case Kind::Zeros:
      return 0x00;
    case Kind::StartBytes:
      return 0x5E;
    case Kind::Noise:
      break;
  }
  Byte b = 'K';
  while (b == 'K') b = static_cast<Byte>(random_.next() & 0xFF);
  return b;
}

void EndlessBytes::receive(ByteView, MonoTime at) {
  if (!line_) return;
  const MonoTime from = std::max(queued_until_, at);
  const MonoTime until = at + kAhead;
  if (from >= until) return;
  const MonoTime per_byte = byte_time(kBaud);
  const auto count = static_cast<std::size_t>((until - from) / per_byte);
  Bytes bytes(count);
  for (Byte& b : bytes) b = next();
  line_->send(bytes, from);
  queued_until_ = from + line_->line_time(kBaud, count);
}

}  // namespace tavric::sim
