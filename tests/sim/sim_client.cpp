#include "tests/sim/sim_client.h"

#include <gtest/gtest.h>

namespace simtest {

Bytes legacy_request(int cmd, int a0, int a1, int a2, int a3) {
  Bytes f = {0x5E, 0xFF, 0xFF, 0xFF, 0x0E, 0x00};
  for (int v : {cmd, a0, a1, a2, a3}) f.push_back(static_cast<Byte>(v));
  int sum = 0;
  for (std::size_t i = 1; i < f.size(); ++i) sum += f[i];
  f.push_back(static_cast<Byte>(sum / 256));
  f.push_back(static_cast<Byte>(sum % 256));
  for (int v : {0x5F, 0, 0, 0}) f.push_back(static_cast<Byte>(v));
  return f;
}

std::uint16_t crc16(const Bytes& bytes, std::size_t from, std::size_t to) {
  unsigned crc = 0xFFFF;
  for (std::size_t i = from; i < to; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return static_cast<std::uint16_t>(crc);
}

Bytes v5_request(int cmd, const std::vector<int>& args) {
  Bytes f = {
      0x00, 0x5E, 0xFF, 0xFF, static_cast<Byte>(args.size() + 2), 0x00, static_cast<Byte>(cmd)};
  for (int v : args) f.push_back(static_cast<Byte>(v));
  const std::uint16_t crc = crc16(f, 2, f.size());
  f.push_back(static_cast<Byte>(crc & 0xFF));
  f.push_back(static_cast<Byte>(crc >> 8));
  return f;
}

Bytes transact(tavric::testhost::TestHost& host, const Bytes& request, MonoTime quiet) {
  if (!request.empty()) host.line.output(request);
  Bytes got;
  const MonoTime give_up = host.clock.monotonic() + std::chrono::seconds(120);
  while (host.clock.monotonic() < give_up) {
    host.line.wait_for_input(host.clock.monotonic() + quiet, tavric::WindowEvents::Hold, 1);
    if (host.line.in_buffer_count() == 0) break;
    const Bytes chunk = host.line.input();
    got.insert(got.end(), chunk.begin(), chunk.end());
  }
  return got;
}

Bytes transact(tavric::testhost::TestHost& host, const std::string& text, MonoTime quiet) {
  return transact(host, Bytes(text.begin(), text.end()), quiet);
}

bool legacy_reply_ok(const Bytes& r) {
  if (r.size() < 14 || r[0] != 0x5E || r[4] != r.size() || r[5] != 1 || r.back() != 0x5F) {
    return false;
  }
  int sum = 0;
  for (std::size_t i = 1; i < r.size() - 3; ++i) sum += r[i];
  return r[r.size() - 3] == sum / 256 && r[r.size() - 2] == sum % 256;
}

bool v5_reply_ok(const Bytes& r) {
  return r.size() >= 6 && r[0] == 0x5E && r.size() == r[3] + 6u && r[4] == 1 &&
         crc16(r, 1, r.size()) == 0;
}

void open_line(tavric::testhost::TestHost& host, tavric::sim::LineDevice& device) {
  host.line.attach(1, device);
  host.line.set_comm_port(1);
  host.line.set_settings(tavric::kSettings9600);
  std::string error;
  ASSERT_TRUE(host.line.open(error)) << error;
}

}  // namespace simtest
