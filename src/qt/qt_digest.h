#pragma once

#include "platform/digest.h"

namespace tavric {

// SHA-256 by QCryptographicHash.
class QtDigest : public Digest {
 public:
  std::string sha256_hex(std::string_view data) const override;
};

}  // namespace tavric
