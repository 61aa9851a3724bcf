#pragma once

#include <string>
#include <vector>

#include "platform/bytes.h"
#include "platform/clock.h"

namespace tavric::sim {

// One request a simulated server accepted (a well-formed frame with a good check).
struct ReceivedRequest {
  MonoTime at{0};  // when its last byte arrived
  int number = 0;  // 1, 2, ... in order of arrival; the fault plan counts these
  int command = -1;
  Bytes args;            // the argument bytes after the command
  int baud = 9600;       // the speed the server listened at
  bool answered = true;  // false when the fault plan or a dead link kept it silent
};

}  // namespace tavric::sim
