#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "sim/line_device.h"

namespace tavric::sim {

// A pseudo-terminal as the line between a real client and a simulated device, in real
// time. The client opens the terminal's device file as its serial port; the device's
// bytes reach it paced at 10 bits a byte. Bytes pass garbled (as zeros) whenever the
// speed the client has set differs from the device's, as on a real line.
//
// Unpaced, bytes take no line time: the device's turnarounds and other pauses remain,
// but a reply or stream goes out as fast as the client reads it. Bytes the terminal
// cannot take yet then wait for room instead of being lost.
class PtyLine : public LineEnd {
 public:
  // Opens the pseudo-terminal; throws std::system_error when it cannot.
  PtyLine();
  ~PtyLine() override;
  PtyLine(const PtyLine&) = delete;
  PtyLine& operator=(const PtyLine&) = delete;

  // The device file the client opens, e.g. /dev/pts/3.
  const std::string& device_path() const { return path_; }
  void attach(LineDevice& device);
  void set_unpaced(bool unpaced) { unpaced_ = unpaced; }

  // Serves the line until `stop()` returns true; sleeps in poll() between events and
  // asks `stop()` at least every 200 ms.
  void serve(const std::function<bool()>& stop);

  // The speed the client has set on its end (the terminal's output speed), or the
  // device's when it cannot be read.
  int client_baud() const;
  MonoTime last_receive() const { return last_receive_; }
  // When the line last carried a byte either way (the last queued byte counts from
  // when it will have left), so that a long stream is not taken for silence.
  MonoTime last_activity() const { return std::max(last_receive_, busy_until_); }

  // LineEnd
  MonoTime now() const override;
  MonoTime line_time(int baud, std::size_t count) const override;
  void send(ByteView bytes, MonoTime at) override;
  void set_device_baud(int baud, MonoTime from) override;
  void drop_queued() override { queue_.clear(); }

 private:
  int device_baud_at(MonoTime t) const;
  void flush_due(MonoTime now);
  void flush_unpaced(MonoTime now);
  void read_input();

  int master_ = -1;
  int slave_ = -1;  // held open so the terminal keeps its settings between client runs
  std::string path_;
  LineDevice* device_ = nullptr;
  struct Due {
    MonoTime at;  // when the byte has fully left
    Byte byte;
    int baud;  // the device's speed when it was sent
  };
  std::deque<Due> queue_;
  MonoTime busy_until_{0};
  std::vector<std::pair<MonoTime, int>> device_bauds_{{MonoTime::min(), 9600}};
  MonoTime last_receive_{0};
  bool unpaced_ = false;
};

// The output speed set on the terminal behind `fd` (custom speeds included), or 0 when
// it cannot be read.
int terminal_speed(int fd);

}  // namespace tavric::sim
