#include "readings/record_text.h"

#include "readings/low_battery.h"
#include "readings/number_format.h"

namespace tavric {
namespace {

std::string date_time(const LocalDateTime& t) {
  return format_date(t) + " " + format_time(t);
}

std::string marker(const char* lead, std::int32_t ProbeID, const char* text) {
  return lead + NumberItem(ProbeID) + text + std::string(kLineEnd);
}

}  // namespace

std::string DumpLine(const Reading& r) {
  std::string line = FormatNumber(std::int64_t{r.ProbeID}, "#####0");
  line += ", " + NumberItem(r.RecNo) + "," + date_time(r.when);
  for (std::size_t i = 0; i < 6; ++i) {
    line += "," + FormatNumber(r.T[i], "###0.00");
    line += "," + FormatNumber(r.SM[i], "###0.00");
  }
  line += "," + FormatNumber(r.Temp, "###0.00");
  line += "," + FormatNumber(r.Volts, "###0.0");
  line += "," + FormatNumber(std::int64_t{r.PwrFail}, "#");
  line += "," + FormatNumber(std::int64_t{r.TailWord}, "#####");
  return line += kLineEnd;
}

std::string ProbeLine(const Reading& r) {
  if (r.kind == 2) return {};
  // "#00000" (kind 0) and "00000" (kind 1) give the same text for every probe id.
  std::string line = FormatNumber(std::int64_t{r.ProbeID}, r.kind == 0 ? "#00000" : "00000");
  line += ", " + date_time(r.when);
  for (std::size_t i = 0; i < 6; ++i) {
    line += ", " + FormatNumber(r.T[i], "00.0");
    line += ", " + FormatNumber(r.SM[i], "000.00");
  }
  line += "," + FormatNumber(r.Volts, "0.0");
  return line += kLineEnd;
}

std::string CrcErrorLine(std::int32_t ProbeID) {
  return marker("! ", ProbeID, ",CRC error");
}

std::string ProbeSettingsLine(std::int32_t ProbeID) {
  return marker("! ", ProbeID, ",Probe settings");
}

std::string RepeaterSettingsLine(std::int32_t ProbeID) {
  return marker("! ", ProbeID, ",Repeater settings");
}

std::string InvalidDataLine(std::int32_t ProbeID, int kind) {
  return "? " + NumberItem(ProbeID) + ",Invalid data " + NumberItem(kind) + std::string(kLineEnd);
}

RecordLines LinesFor(const RecordResult& result) {
  RecordLines out;
  out.ProbeID = result.ProbeID;
  switch (result.verdict) {
    case RecordVerdict::Reading:
      out.dump = DumpLine(result.reading);
      out.probe = ProbeLine(result.reading);
      out.Volts = result.reading.Volts;
      out.low_battery = result.reading.Volts < kLowBatteryVolts;
      break;
    case RecordVerdict::CrcError:
      out.dump = CrcErrorLine(result.ProbeID);
      break;
    case RecordVerdict::ProbeSettings:
      out.dump = ProbeSettingsLine(result.ProbeID);
      break;
    case RecordVerdict::RepeaterSettings:
      out.dump = RepeaterSettingsLine(result.ProbeID);
      break;
    case RecordVerdict::InvalidKind:
      out.dump = InvalidDataLine(result.ProbeID, result.kind);
      break;
    case RecordVerdict::BadClock:
    case RecordVerdict::Dropped:
      break;
  }
  return out;
}

}  // namespace tavric
