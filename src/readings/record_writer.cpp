#include "readings/record_writer.h"

namespace tavric {

void RecordWriter::WriteRecordLines(const RecordLines& lines) {
  if (!lines.dump.empty()) files.WriteDump(lines.dump);
  if (!lines.probe.empty()) files.WriteProbe(lines.probe);
  if (lines.low_battery) low_batteries.AddLowVolts(lines.ProbeID, lines.Volts);
}

}  // namespace tavric
