#pragma once

#include <algorithm>
#include <array>
#include <cstddef>

#include "platform/bytes.h"

namespace tavric {

// A reply frame as it is collected, its start byte at position 0. A line that keeps
// sending goes on being counted past the capacity, but those bytes are not kept.
class Reply {
 public:
  static constexpr std::size_t kCapacity = 1000;

  void clear() { length_ = 0; }
  void append(Byte b) {
    if (length_ < kCapacity) bytes_[length_] = b;
    ++length_;
  }
  // Bytes beyond `n` are let go (a reply longer than it announced).
  void cut_to(std::size_t n) { length_ = std::min(length_, n); }
  // How many bytes came, from the start byte on.
  std::size_t size() const { return length_; }
  // The byte at `i`; 0 past the bytes that came.
  Byte operator[](std::size_t i) const { return i < std::min(length_, kCapacity) ? bytes_[i] : 0; }
  ByteView bytes() const { return ByteView(bytes_.data(), std::min(length_, kCapacity)); }

 private:
  std::array<Byte, kCapacity> bytes_{};
  std::size_t length_ = 0;
};

}  // namespace tavric
