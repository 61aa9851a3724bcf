#pragma once

#include "app/session.h"
#include "readings/record_text.h"

namespace tavric {

// Writes a record's lines to the dump and probe data files and passes a low battery
// on to the run's list.
void WriteRecordLines(Session& s, const RecordLines& lines);

}  // namespace tavric
