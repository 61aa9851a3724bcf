#include "sim/reply_sender.h"

#include <algorithm>

#include "sim/random.h"

namespace tavric::sim {

bool ReplySender::answers(int number) const {
  if (plan_.dies_after > 0 && number > plan_.dies_after) return false;
  return plan_.silent.count(number) == 0;
}

MonoTime ReplySender::send(LineEnd& line, const Bytes& frame, int number, MonoTime at, int baud) {
  if (!answers(number)) return at;
  Bytes out;
  if (plan_.noise.count(number) != 0) {
    // Bytes a real line picks up when the server's driver switches on. One of them is
    // the start byte, so a client sees a false frame begin before the real one.
    Random r(noise_ + static_cast<std::uint64_t>(number));
    const int n = r.between(3, 9);
    for (int i = 0; i < n; ++i) out.push_back(static_cast<Byte>(r.between(0, 255)));
    out[static_cast<std::size_t>(r.between(0, n - 1))] = 0x5E;
  }
  std::size_t keep = frame.size();
  if (plan_.cut_short.count(number) != 0) keep = std::max<std::size_t>(1, frame.size() / 2);
  out.insert(out.end(), frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(keep));
  line.send(out, at);
  return at + line.line_time(baud, out.size());
}

}  // namespace tavric::sim
