#pragma once

#include <array>
#include <cstdint>

#include "platform/bytes.h"
#include "platform/calendar.h"

namespace tavric {

// One 32-byte reading record of the server's store.
inline constexpr std::size_t kRecordSize = 32;
using RecordBytes = std::array<Byte, kRecordSize>;

// The 16 battery voltages by battery code, read from their text as single values.
inline constexpr const char* kVoltageTableText =
    "2.2,2.3,2.4,2.5,2.6,2.8,2.9,3.1,3.4,3.5,3.6,3.8,4.1,997,998,999";
using VoltageTable = std::array<float, 16>;
VoltageTable BuildVoltageTable();

// The record check: the 32 bytes folded into a register preset to 65535. An intact
// kind-1 or kind-2 record (and any record the server protects) gives 0.
std::int32_t RecordCheck(const RecordBytes& b);

// Where a record came from: a single or block fetch, or the bulk stream. The stream
// settles the check itself and drops what it cannot write as a reading.
enum class RecordRules { Fetch, Stream };

// The values of one decoded reading (kinds 0, 1 and 2).
struct Reading {
  int kind = 0;
  std::int32_t ProbeID = 0;
  std::int32_t RecNo = 0;
  LocalDateTime when;
  std::array<float, 6> T{};
  std::array<float, 6> SM{};
  float Temp = 0.0F;
  float Volts = 0.0F;
  std::uint8_t PwrFail = 0;
  std::int32_t TailWord = 0;
};

enum class RecordVerdict {
  Reading,           // decoded into `reading`
  CrcError,          // failed its check
  ProbeSettings,     // kind 4
  RepeaterSettings,  // kind 5
  InvalidKind,       // kind 3 or 6..15
  BadClock,          // kind 0 whose clock does not fit 31 bits
  Dropped,           // stream only: nothing is written for it
};

struct RecordResult {
  RecordVerdict verdict = RecordVerdict::Dropped;
  int kind = 0;
  std::int32_t ProbeID = 0;
  Reading reading;  // valid for RecordVerdict::Reading
};

// Classifies and decodes one record; `check_ok` is whether its check came out at 0.
RecordResult DecodeRecord(const RecordBytes& b, bool check_ok, RecordRules rules,
                          const VoltageTable& volts);

}  // namespace tavric
