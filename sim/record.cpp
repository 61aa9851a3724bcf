#include "sim/record.h"

#include <algorithm>
#include <cmath>

#include "protocol/crc.h"

namespace tavric::sim {
namespace {

constexpr double kVolts[16] = {2.2, 2.3, 2.4, 2.5, 2.6, 2.8, 2.9, 3.1,
                               3.4, 3.5, 3.6, 3.8, 4.1, 997, 998, 999};

int rounded(double v) {
  return static_cast<int>(std::lround(v));
}

void put16(Record& r, int at, int v) {
  r[at] = static_cast<Byte>((v >> 8) & 0xFF);
  r[at + 1] = static_cast<Byte>(v & 0xFF);
}

void put_probe(Record& r, int probe_id) {
  put16(r, 1, probe_id & 0xFFFF);
}

// Minutes since 2000 in bytes 3-5 and the record number in bytes 6-7 (kinds 1 and 2).
void put_minutes_header(Record& r, const Reading& in) {
  const std::int64_t minutes = seconds_since_2000(in.time) / 60;
  r[3] = static_cast<Byte>((minutes >> 16) & 0xFF);
  r[4] = static_cast<Byte>((minutes >> 8) & 0xFF);
  r[5] = static_cast<Byte>(minutes & 0xFF);
  put16(r, 6, in.record_number & 0xFFFF);
}

// A temperature in sixteenths of a degree as the 11-bit kind-1 code: values above 90
// degrees stand for negative ones (128 less).
int kind1_temperature_code(double t) {
  int code = rounded(t * 16);
  if (code < 0) code += 128 * 16;
  return std::clamp(code, 0, 2047);
}

}  // namespace

Record erased_record() {
  Record r;
  r.fill(0xFF);
  return r;
}

std::uint16_t record_check(const Record& r) {
  std::int32_t crc = 0xFFFF;
  for (Byte b : r) update_crc(crc, b);
  return static_cast<std::uint16_t>(crc);
}

void seal(Record& r) {
  std::int32_t crc = 0xFFFF;
  for (int i = 0; i < 30; ++i) update_crc(crc, r[i]);
  r[30] = static_cast<Byte>(crc & 0xFF);
  r[31] = static_cast<Byte>((crc >> 8) & 0xFF);
}

double battery_volts(int code) {
  return kVolts[code & 15];
}

Record encode_kind0(const Reading& in, int battery_nibble) {
  Record r{};
  r[0] = static_cast<Byte>(battery_nibble & 15);
  put_probe(r, in.probe_id);
  put16(r, 3, in.record_number & 0xFFFF);
  const auto seconds = static_cast<std::uint32_t>(seconds_since_2000(in.time));
  put16(r, 5, static_cast<int>(seconds >> 16));
  put16(r, 7, static_cast<int>(seconds & 0xFFFF));
  // Ambient in 1/256 degree; a word above 128 degrees stands for a negative value.
  int ambient = rounded(in.ambient * 256);
  if (ambient < 0) ambient += 65536;
  put16(r, 9, std::clamp(ambient, 0, 65535));
  r[11] = static_cast<Byte>((in.power_fail ? 0x80 : 0) | (rounded(in.volts * 10) & 0x7F));
  for (int i = 0; i < 6; ++i) {
    // A 9-bit temperature in tenths, values above 48 degrees standing for 50 less.
    int t = rounded(in.temperature[i] * 10);
    if (t < 0) t += 500;
    t = std::clamp(t, 0, 511);
    const int sm = std::clamp(rounded(in.moisture[i] * 100), 0, 0x7FFF);
    r[12 + 3 * i] = static_cast<Byte>(t & 0xFF);
    r[13 + 3 * i] = static_cast<Byte>(((t >> 8) << 7) | (sm >> 8));
    r[14 + 3 * i] = static_cast<Byte>(sm & 0xFF);
  }
  put16(r, 30, in.tail_word & 0xFFFF);
  return r;
}

Record encode_kind1(const Reading& in) {
  Record r{};
  r[0] = static_cast<Byte>(0x10 | (in.battery_code & 15));
  put_probe(r, in.probe_id);
  put_minutes_header(r, in);
  const int ambient = kind1_temperature_code(in.ambient);
  int extra = 0;  // the top temperature bit of pairs 1-4 (bits 0-3) and 5-6 (bit 4)
  for (int i = 0; i < 6; ++i) {
    const int t = kind1_temperature_code(in.temperature[i]);
    const int sm = std::clamp(rounded(in.moisture[i] * 100), 0, 0x3FFF);
    if ((t >> 10) != 0 && i < 5) extra |= 1 << i;
    const int low10 = t & 0x3FF;
    r[10 + 3 * i] = static_cast<Byte>(low10 >> 2);
    r[11 + 3 * i] = static_cast<Byte>(((low10 & 3) << 6) | (sm >> 8));
    r[12 + 3 * i] = static_cast<Byte>(sm & 0xFF);
  }
  r[8] = static_cast<Byte>(ambient >> 3);
  r[9] = static_cast<Byte>(((ambient & 7) << 5) | extra);
  put16(r, 28, in.tail_word & 0xFFFF);
  seal(r);
  return r;
}

Record encode_kind2(const Reading& in) {
  Record r{};
  r[0] = static_cast<Byte>(0x20 | (in.battery_code & 15));
  put_probe(r, in.probe_id);
  put_minutes_header(r, in);
  put16(r, 28, in.tail_word & 0xFFFF);
  seal(r);
  return r;
}

Record encode_other_kind(int kind, int probe_id, const std::array<Byte, 27>& payload) {
  Record r{};
  r[0] = static_cast<Byte>((kind & 15) << 4);
  put_probe(r, probe_id);
  std::copy(payload.begin(), payload.end(), r.begin() + 3);
  seal(r);
  return r;
}

}  // namespace tavric::sim
