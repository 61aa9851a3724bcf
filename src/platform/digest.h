#pragma once

#include <string>
#include <string_view>

namespace tavric {

// A one-way digest, computed by a cryptographic library the system already trusts
// (Qt's on Linux, the Windows CNG on Windows), so the program carries no hash code of
// its own.
class Digest {
 public:
  virtual ~Digest() = default;
  // The SHA-256 digest of `data` as 64 lower-case hexadecimal digits.
  virtual std::string sha256_hex(std::string_view data) const = 0;
};

}  // namespace tavric
