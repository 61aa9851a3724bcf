#pragma once

#include <stdexcept>
#include <string>

namespace tavric {

// The user closed the main window: the run stops where it is. Thrown from the
// window's yield and waits; caught only at the top of the run.
struct WindowClosed {};

// The program ends at once (a prompt answered with nothing, a fatal modem failure),
// with the exit status that says why.
struct ProgramEnd {
  int status = 1;
};

// A run-time fault inside a step (a value that does not fit, a clock that cannot be
// composed). The step it happens in is skipped and the run goes on; see skip_on_fault.
class RunFault : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Runs `step`; a RunFault inside it abandons the step and nothing else.
template <typename F>
bool skip_on_fault(F&& step) {
  try {
    step();
    return true;
  } catch (const RunFault&) {
    return false;
  }
}

}  // namespace tavric
