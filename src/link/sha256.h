#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavric {

// The SHA-256 digest of `data` (FIPS 180-4).
std::array<std::uint8_t, 32> sha256(std::string_view data);

// The digest as 64 lower-case hexadecimal digits.
std::string sha256_hex(std::string_view data);

}  // namespace tavric
