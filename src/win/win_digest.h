#pragma once

#include "platform/digest.h"

namespace tavric::win {

// SHA-256 by the system's cryptography API (CNG, bcrypt.dll).
class WinDigest : public Digest {
 public:
  std::string sha256_hex(std::string_view data) const override;
};

}  // namespace tavric::win
