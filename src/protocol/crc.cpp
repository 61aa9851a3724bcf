#include "protocol/crc.h"

#include "protocol/v5_exchange.h"

namespace tavric {

void GenerateCRC(Session& s) {
  // The start byte is left out; the covered span ends where the request ends now,
  // before the two check bytes are appended.
  std::int32_t crc = 0xFFFF;
  const int last = std::min<int>(s.TxLength, static_cast<int>(s.TxBuffer.size()) - 1);
  for (int i = 2; i <= last; ++i) update_crc(crc, s.TxBuffer[static_cast<std::size_t>(i)]);
  v5Add(s, crc % 256);
  v5Add(s, crc / 256);
}

}  // namespace tavric
