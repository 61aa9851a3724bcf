#pragma once

#include <gtest/gtest.h>

#include "platform/digest.h"

namespace tavric::testhost {

// A refused PIN is remembered by the system's SHA-256: each program's digest must give
// the published test vectors.
inline void expect_sha256(const Digest& digest) {
  EXPECT_EQ(digest.sha256_hex("abc"),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(digest.sha256_hex(""),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

}  // namespace tavric::testhost
