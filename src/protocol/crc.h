#pragma once

#include <cstdint>

#include "platform/bytes.h"

namespace tavric {

// Folds byte `a` into the CRC-16/MODBUS register `CRC` (reflected 0xA001, bitwise).
inline void update_crc(std::int32_t& CRC, std::int32_t a) {
  CRC ^= a & 0xFF;
  for (int bit = 0; bit < 8; ++bit) {
    CRC = (CRC & 1) ? ((CRC >> 1) ^ 0xA001) : (CRC >> 1);
  }
}

// Appends to `frame` the check of its bytes after the start byte, low byte first.
void GenerateCRC(Bytes& frame);

}  // namespace tavric
