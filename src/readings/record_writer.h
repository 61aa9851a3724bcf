#pragma once

#include "readings/low_battery.h"
#include "readings/output_files.h"
#include "readings/record_text.h"

namespace tavric {

// Where the run's readings go: the dump and probe data files, and the low-battery list.
struct RecordWriter {
  OutputFiles& files;
  LowBatteries& low_batteries;

  // Writes a record's lines and passes a low battery on to the list.
  void WriteRecordLines(const RecordLines& lines);
};

}  // namespace tavric
