#include "readings/record_writer.h"

#include "readings/output_files.h"

namespace tavric {

void WriteRecordLines(Session& s, const RecordLines& lines) {
  if (!lines.dump.empty()) WriteDump(s, lines.dump);
  if (!lines.probe.empty()) WriteProbe(s, lines.probe);
  if (lines.low_battery) AddLowVolts(s, lines.ProbeID, lines.Volts);
}

}  // namespace tavric
