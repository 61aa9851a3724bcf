#pragma once

// A hand-built client for the simulated devices: request frames put together byte by
// byte and a plain collector of what comes back on the test host's line.

#include <chrono>
#include <string>
#include <vector>

#include "platform/bytes.h"
#include "tests/host/test_host.h"

namespace simtest {

using tavric::Byte;
using tavric::Bytes;
using tavric::MonoTime;

// 5E FF FF FF 0E 00 cmd a0..a3 sum(hi lo) 5F 00 00 00
Bytes legacy_request(int cmd, int a0 = 0, int a1 = 0, int a2 = 0, int a3 = 0);
// 00, then 5E FF FF L 00 cmd args CRC(lo hi)
Bytes v5_request(int cmd, const std::vector<int>& args);
std::uint16_t crc16(const Bytes& bytes, std::size_t from, std::size_t to);

// Writes `request` and gathers the bytes that come back until the line has been quiet
// for `quiet`.
Bytes transact(tavric::testhost::TestHost& host, const Bytes& request,
               MonoTime quiet = std::chrono::milliseconds(300));
Bytes transact(tavric::testhost::TestHost& host, const std::string& text,
               MonoTime quiet = std::chrono::milliseconds(300));

// A legacy reply is intact: start and end byte, status 1, length byte, sum.
bool legacy_reply_ok(const Bytes& reply);
// A v5 reply (from its start byte) is intact: length, status 1 and CRC.
bool v5_reply_ok(const Bytes& reply);

// Opens port 1 of the host's line with `device` on it at 9600 bit/s.
void open_line(tavric::testhost::TestHost& host, tavric::sim::LineDevice& device);

}  // namespace simtest
