#pragma once

#include "readings/record_text.h"
#include "session/session.h"

namespace tavric {

// Writes a record's lines to the dump and probe data files and passes a low battery
// on to the run's list.
void WriteRecordLines(Session& s, const RecordLines& lines);

}  // namespace tavric
