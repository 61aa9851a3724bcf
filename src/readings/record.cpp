#include "readings/record.h"

#include <charconv>
#include <string_view>

#include "protocol/crc.h"

namespace tavric {
namespace {

// Each conversion divides in double precision and keeps the result as a single value;
// thresholds are compared on the single values.
float ratio(std::int32_t numerator, double denominator) {
  return static_cast<float>(numerator / denominator);
}

std::int32_t word(const RecordBytes& b, std::size_t at) {
  return b[at] * 256 + b[at + 1];
}

LocalDateTime minutes_clock(const RecordBytes& b) {
  const std::int64_t minutes = (b[3] * 256 + b[4]) * 256 + b[5];
  return from_seconds_since_2000(minutes * 60);
}

// Kind 0: clock in seconds, battery byte and 9-bit temperatures inside the record.
RecordVerdict decode_kind0(const RecordBytes& b, Reading& r) {
  if (b[5] >= 128) return RecordVerdict::BadClock;
  r.RecNo = word(b, 3);
  const std::int64_t seconds = ((b[5] * 256 + b[6]) * 256 + b[7]) * 256LL + b[8];
  r.when = from_seconds_since_2000(seconds);
  r.Temp = ratio(word(b, 9), 256);
  if (r.Temp > 128.0F) r.Temp -= 256.0F;
  r.PwrFail = static_cast<std::uint8_t>(b[11] >> 7);
  r.Volts = ratio(b[11] & 127, 10);
  for (std::size_t i = 0; i < 6; ++i) {
    const std::size_t at = 12 + 3 * i;
    r.T[i] = ratio((b[at + 1] >> 7) * 256 + b[at], 10);
    if (r.T[i] > 48.0F) r.T[i] = static_cast<float>(static_cast<double>(r.T[i]) - 50);
    r.SM[i] = ratio((b[at + 1] & 127) * 256 + b[at + 2], 100);
  }
  r.TailWord = word(b, 30);
  return RecordVerdict::Reading;
}

// Kinds 1 and 2 share the clock in minutes and the battery code.
void decode_minutes_header(const RecordBytes& b, RecordRules rules, const VoltageTable& volts,
                           Reading& r) {
  r.when = minutes_clock(b);
  // In the stream, bit 7 of bytes 6 and 28 belongs to neither value of kind 1.
  const bool masked = rules == RecordRules::Stream && r.kind == 1;
  r.RecNo = masked ? (b[6] & 127) * 256 + b[7] : word(b, 6);
  r.TailWord = masked ? (b[28] & 127) * 256 + b[29] : word(b, 28);
  r.Volts = volts[b[0] & 15];
  r.PwrFail = r.Volts == 999.0F ? 1 : 0;
}

// Kind 1: 11-bit ambient and 10-bit sensor temperatures in sixteenths, whose top bits
// sit in byte 9 (pairs 5 and 6 share bit 4), and 14-bit moistures.
void decode_kind1(const RecordBytes& b, Reading& r) {
  r.Temp = ratio((word(b, 8) >> 1) & 0xFFF0, 256);
  if (r.Temp > 90.0F) r.Temp -= 128.0F;
  int x = b[9];
  for (std::size_t i = 0; i < 6; ++i) {
    const std::size_t at = 10 + 3 * i;
    std::int32_t raw = (word(b, at) >> 2) & 0xFFF0;
    if (x & 1) raw |= 0x4000;
    if (i < 4) x >>= 1;
    r.T[i] = ratio(raw, 256);
    if (r.T[i] > 90.0F) r.T[i] -= 128.0F;
    r.SM[i] = ratio(word(b, at + 1) & 0x3FFF, 100);
  }
}

}  // namespace

VoltageTable BuildVoltageTable() {
  VoltageTable table{};
  std::string_view text = kVoltageTableText;
  for (float& v : table) {
    const std::size_t comma = text.find(',');
    const std::string_view entry = text.substr(0, comma);
    std::from_chars(entry.data(), entry.data() + entry.size(), v);
    text.remove_prefix(comma == std::string_view::npos ? text.size() : comma + 1);
  }
  return table;
}

std::int32_t RecordCheck(const RecordBytes& b) {
  std::int32_t reg = 65535;
  for (Byte c : b) update_crc(reg, c);
  return reg;
}

RecordResult DecodeRecord(const RecordBytes& b, bool check_ok, RecordRules rules,
                          const VoltageTable& volts) {
  RecordResult out;
  out.kind = b[0] >> 4;
  out.ProbeID = word(b, 1);
  const bool stream = rules == RecordRules::Stream;
  if (stream) {
    // The stream writes readings only: no marker lines, no probe 0, and kind 0 only
    // with its whole first byte 0.
    if (!check_ok || out.ProbeID == 0 || out.kind > 2 || (out.kind == 0 && b[0] != 0)) {
      return out;
    }
  } else if (!check_ok && (b[0] != 0 || out.ProbeID == 0)) {
    // Kind 0 with battery code 0 carries no check: bytes 30-31 hold its TailWord.
    out.verdict = RecordVerdict::CrcError;
    return out;
  }

  Reading& r = out.reading;
  r.kind = out.kind;
  r.ProbeID = out.ProbeID;
  switch (out.kind) {
    case 0:
      out.verdict = decode_kind0(b, r);
      return out;
    case 1:
      decode_minutes_header(b, rules, volts, r);
      decode_kind1(b, r);
      break;
    case 2:
      decode_minutes_header(b, rules, volts, r);  // sensors and ambient stay 0
      break;
    case 4:
      out.verdict = RecordVerdict::ProbeSettings;
      return out;
    case 5:
      out.verdict = RecordVerdict::RepeaterSettings;
      return out;
    default:
      out.verdict = RecordVerdict::InvalidKind;
      return out;
  }
  out.verdict = RecordVerdict::Reading;
  return out;
}

}  // namespace tavric
