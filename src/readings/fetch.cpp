#include "readings/fetch.h"

#include <string>

#include "platform/run_control.h"
#include "protocol/requests.h"
#include "protocol/v5_exchange.h"
#include "readings/record_text.h"

namespace tavric {
namespace {

constexpr std::int32_t kMaxSlot = 65535;
constexpr std::int32_t kMaxBlockCounter = 32704;  // the block number RecNo + 63 fits 16 bits
constexpr std::size_t kReadingRecordAt = 8;       // v5 reply position of record byte 0
constexpr std::size_t kBlockRecordsAt = 11;       // legacy block reply position of record 0
constexpr std::size_t kBlockRecords = 4;
constexpr std::size_t kBlockReplyLength = 142;  // records at 11..138, then sum and end byte

RecordBytes record_at(ByteView reply, std::size_t at) {
  RecordBytes b{};
  for (std::size_t i = 0; i < kRecordSize; ++i) b[i] = reply[at + i];
  return b;
}

}  // namespace

std::optional<RecordBytes> ReadingRecordOf(ByteView reply) {
  // A reply too short to hold a record is no answer to the request: taking the record
  // from it would decode its own check bytes or bytes that came after it unchecked.
  if (V5DataEnd(reply) < kReadingRecordAt + kRecordSize || reply.size() < V5DataEnd(reply)) {
    return std::nullopt;
  }
  return record_at(reply, kReadingRecordAt);
}

std::optional<std::vector<RecordBytes>> BlockRecordsOf(ByteView reply) {
  // A reply that echoes the block but is shorter than a block reply holds no records:
  // the block would pass for fetched.
  if (reply.size() < kBlockReplyLength) return std::nullopt;
  std::vector<RecordBytes> records;
  if (reply[kBlockRecordsAt] == 255) return records;  // an empty block
  for (std::size_t k = 0; k < kBlockRecords; ++k) {
    records.push_back(record_at(reply, kBlockRecordsAt + kRecordSize * k));
  }
  return records;
}

bool GetReading(Line& line, RecordWriter& out, std::int32_t RecNo) {
  // Refused before anything is sent.
  if (RecNo < 0 || RecNo > kMaxSlot) {
    throw RunFault("reading slot " + std::to_string(RecNo) + " is outside 0..65535");
  }
  const VoltageTable volts = BuildVoltageTable();
  V5Request request;
  request.v5Add(19);
  request.v5Add(RecNo / 256);
  request.v5Add(RecNo % 256);
  Reply reply;
  if (!v5Transmit(line, request, reply)) return false;
  const std::optional<RecordBytes> b = ReadingRecordOf(reply.bytes());
  if (!b) return false;

  const RecordResult result = DecodeRecord(*b, RecordCheck(*b) == 0, RecordRules::Fetch, volts);
  if (result.verdict == RecordVerdict::BadClock) {
    throw RunFault("reading slot " + std::to_string(RecNo) + " has a clock beyond 2^31 seconds");
  }
  out.WriteRecordLines(LinesFor(result));
  return true;
}

bool GetData(Line& line, RecordWriter& out, std::int32_t RecNo) {
  if (RecNo < 1 || RecNo > kMaxBlockCounter) return true;
  const VoltageTable volts = BuildVoltageTable();
  Reply reply;
  if (!GetProbeDataBlock(line, static_cast<std::int16_t>(RecNo + 63), reply)) return false;
  const auto records = BlockRecordsOf(reply.bytes());
  if (!records) return false;

  for (const RecordBytes& b : *records) {
    const RecordResult result = DecodeRecord(b, RecordCheck(b) == 0, RecordRules::Fetch, volts);
    // A reading whose clock cannot be written is marked, so the line count still
    // shows one line for every record of the block.
    if (result.verdict == RecordVerdict::BadClock) {
      RecordLines marker;
      marker.dump = InvalidDataLine(result.ProbeID, result.kind);
      out.WriteRecordLines(marker);
    } else {
      out.WriteRecordLines(LinesFor(result));
    }
  }
  return true;
}

}  // namespace tavric
