#pragma once

#include "session/session.h"

namespace tavric {

// v5 "Hi": fetches the NewReadings readings from ReadPointer on in one streamed
// transfer, writing each as it completes. NoComms is false only when every frame
// 1..NewReadings has been written.
void DumpAll(Session& s);

}  // namespace tavric
