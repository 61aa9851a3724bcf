#include "readings/fetch.h"

#include <string>

#include "platform/run_control.h"
#include "protocol/crc.h"
#include "protocol/requests.h"
#include "protocol/v5_exchange.h"
#include "readings/record.h"
#include "readings/record_text.h"
#include "readings/record_writer.h"

namespace tavric {
namespace {

constexpr std::int32_t kMaxSlot = 65535;
constexpr std::int32_t kMaxBlockCounter = 32704;  // the block number RecNo + 63 fits 16 bits
constexpr std::size_t kReadingRecordAt = 9;       // v5 reply position of record byte 0
constexpr std::size_t kBlockRecordsAt = 12;       // legacy block reply position of record 0
constexpr std::int16_t kBlockReplyLength = 142;   // records at 12..139, then sum and end byte

// Copies the record at RxBuffer(`at`) and works out its check as it goes.
RecordBytes take_record(const Session& s, std::size_t at, std::int32_t& check) {
  RecordBytes b{};
  check = 65535;
  for (std::size_t i = 0; i < kRecordSize; ++i) {
    b[i] = static_cast<Byte>(s.RxBuffer[at + i] & 0xFF);
    update_crc(check, b[i]);
  }
  return b;
}

}  // namespace

void GetReading(Session& s, std::int32_t RecNo) {
  // Refused before anything is added, so no half-built request is left behind.
  if (RecNo < 0 || RecNo > kMaxSlot) {
    throw RunFault("reading slot " + std::to_string(RecNo) + " is outside 0..65535");
  }
  const VoltageTable volts = BuildVoltageTable();
  v5Add(s, 19);
  v5Add(s, RecNo / 256);
  v5Add(s, RecNo % 256);
  v5Transmit(s);
  if (s.NoComms) return;
  // An intact reply too short to hold a record is no answer to this request: taking
  // the record from it would decode bytes of an earlier reply, its own check bytes or
  // bytes that came after it unchecked. A v5 reply's data ends at position L + 4.
  if (s.RxBuffer[4] + 4 < static_cast<int>(kReadingRecordAt + kRecordSize - 1)) {
    s.NoComms = true;
    return;
  }

  std::int32_t check = 0;
  const RecordBytes b = take_record(s, kReadingRecordAt, check);
  const RecordResult result = DecodeRecord(b, check == 0, RecordRules::Fetch, volts);
  if (result.verdict == RecordVerdict::BadClock) {
    throw RunFault("reading slot " + std::to_string(RecNo) + " has a clock beyond 2^31 seconds");
  }
  WriteRecordLines(s, LinesFor(result));
}

void GetData(Session& s, std::int32_t RecNo) {
  if (RecNo < 1 || RecNo > kMaxBlockCounter) return;
  const VoltageTable volts = BuildVoltageTable();
  GetProbeDataBlock(s, static_cast<std::int16_t>(RecNo + 63));
  if (s.NoComms) return;
  // A reply that echoes the block but is shorter than a block reply holds no records:
  // taking them would decode bytes of an earlier reply, and the block would pass for
  // fetched.
  if (s.RxLength < kBlockReplyLength) {
    s.NoComms = true;
    return;
  }
  if (s.RxBuffer[kBlockRecordsAt] == 255) return;  // an empty block

  for (std::size_t k = 0; k < 4; ++k) {
    std::int32_t check = 0;
    const RecordBytes b = take_record(s, kBlockRecordsAt + kRecordSize * k, check);
    const RecordResult result = DecodeRecord(b, check == 0, RecordRules::Fetch, volts);
    // A reading whose clock cannot be written is marked, so the line count still
    // shows one line for every record of the block.
    if (result.verdict == RecordVerdict::BadClock) {
      RecordLines marker;
      marker.dump = InvalidDataLine(result.ProbeID, result.kind);
      WriteRecordLines(s, marker);
    } else {
      WriteRecordLines(s, LinesFor(result));
    }
  }
}

}  // namespace tavric
