#pragma once

#include <cstdint>

#include "sim/line_device.h"
#include "sim/random.h"

namespace tavric::sim {

// A line that never goes quiet: a stuck modem, a wrong device, a device at another
// speed. It answers nothing and sends without pause from the client's first byte on.
class EndlessBytes : public LineDevice {
 public:
  enum class Kind {
    Zeros,       // 0x00, as bytes at another speed arrive
    Noise,       // random bytes, but never the letter K, so no "OK" of a modem is ever seen
    StartBytes,  // 0x5E, the start byte of every server frame, over and over
  };
  explicit EndlessBytes(Kind kind, std::uint64_t seed = 1) : kind_(kind), random_(seed) {}

  void attach(LineEnd& line) override { line_ = &line; }
  // Each byte from the client tops the stream up to some seconds ahead, so that it
  // never runs dry while the client waits.
  void receive(ByteView bytes, MonoTime at) override;

 private:
  Byte next();

  Kind kind_;
  Random random_;
  LineEnd* line_ = nullptr;
  MonoTime queued_until_{0};
};

}  // namespace tavric::sim
