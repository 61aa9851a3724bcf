#include "sim/record_generator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tavric::sim {

RecordGenerator::RecordGenerator(GeneratorOptions options)
    : options_(options), random_(options.seed) {
  const int count = std::max(1, options_.probes);
  for (int i = 0; i < count; ++i) {
    Probe p{};
    p.id = random_.between(1000, 29999);
    p.record_number = random_.between(0, 500);
    p.soil_base = random_.uniform(10, 20);
    for (double& m : p.moisture) m = random_.uniform(12, 40);
    p.battery_code = random_.between(9, 12);
    probes_.push_back(p);
  }
}

Reading RecordGenerator::reading_for(Probe& p, const LocalDateTime& t) {
  Reading r;
  r.probe_id = p.id;
  r.record_number = p.record_number;
  r.time = t;
  // A daily cycle that peaks mid-afternoon; it reaches the shallow sensors most.
  const double hour = t.hour + t.minute / 60.0;
  const double day = std::sin((hour - 9) / 24 * 2 * std::numbers::pi);
  r.ambient = p.soil_base + 4 + 9 * day + random_.uniform(-0.5, 0.5);
  for (int i = 0; i < 6; ++i) {
    const double depth_damping = 1.0 / (1 + 1.5 * i);
    r.temperature[i] = p.soil_base + 3 * day * depth_damping + random_.uniform(-0.1, 0.1);
    p.moisture[i] = std::clamp(p.moisture[i] + random_.uniform(-0.2, 0.2), 5.0, 55.0);
    r.moisture[i] = p.moisture[i];
  }
  r.battery_code = p.battery_code;
  r.volts = battery_volts(p.battery_code);
  r.tail_word = 0;
  return r;
}

Record RecordGenerator::make(Probe& p, const LocalDateTime& t) {
  const RecordMix& mix = options_.mix;
  Reading r = reading_for(p, t);
  int pick = random_.between(0, 999);
  auto take = [&pick](int share) {
    const bool hit = pick < share;
    pick -= share;
    return hit;
  };
  if (take(mix.settings)) {
    std::array<Byte, 27> payload{};
    for (Byte& b : payload) b = static_cast<Byte>(random_.between(0, 255));
    return encode_other_kind(random_.chance(500) ? 4 : 5, p.id, payload);
  }
  if (take(mix.invalid)) {
    std::array<Byte, 27> payload{};
    for (Byte& b : payload) b = static_cast<Byte>(random_.between(0, 255));
    const int kinds[] = {3, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    return encode_other_kind(kinds[random_.between(0, 10)], p.id, payload);
  }
  if (take(mix.kind2)) {
    r.tail_word = random_.between(0, 3);
    return encode_kind2(r);
  }
  const bool kind0 = take(mix.kind0);
  const bool bad = random_.chance(mix.bad_check);
  if (random_.chance(mix.low_battery)) {
    r.battery_code = random_.between(3, 7);
    r.volts = random_.between(25, 33) / 10.0;
  }
  if (random_.chance(mix.power_fail)) {
    r.battery_code = 15;
    r.power_fail = true;
  }
  Record out;
  if (kind0) {
    r.time.second = random_.between(0, 59);
    r.tail_word = random_.between(0, 9);
    out = encode_kind0(r);
  } else {
    out = encode_kind1(r);
  }
  if (bad) {
    // A damaged record: a byte of the readings changed after the check was made, with
    // a non-zero battery nibble so a kind-0 record is not taken unchecked either.
    out[0] = static_cast<Byte>(out[0] | 0x01);
    out[static_cast<std::size_t>(random_.between(10, 27))] ^= 0x10;
  }
  return out;
}

bool RecordGenerator::has_frame_mark(const Record& r) {
  for (std::size_t i = 0; i + 1 < r.size(); ++i) {
    if (r[i] == 0x4F && r[i + 1] == 0x4E) return true;
  }
  return false;
}

bool RecordGenerator::absent(std::size_t probe, std::int64_t round) const {
  const RecordMix& m = options_.mix;
  if (probes_.size() < 3) return false;  // someone always reports
  if (probe == 1 && round >= m.gap_from && round < m.gap_from + m.gap_rounds) return true;
  return probe == probes_.size() - 1 && m.silent_from > 0 && round >= m.silent_from;
}

Record RecordGenerator::next() {
  const int count = static_cast<int>(probes_.size());
  while (absent(static_cast<std::size_t>(index_ % count), index_ / count)) ++index_;
  const std::int64_t round = index_ / count;
  Probe& p = probes_[static_cast<std::size_t>(index_ % count)];
  ++index_;
  // Probes of one round report a few seconds apart.
  const std::int64_t at = seconds_since_2000(options_.start) +
                          round * options_.interval_minutes * 60 + (index_ % count) * 7;
  const LocalDateTime t = from_seconds_since_2000(at);
  ++p.record_number;
  Record r = make(p, t);
  for (int tries = 0; options_.avoid_frame_marks && has_frame_mark(r) && tries < 50; ++tries) {
    r = make(p, t);
  }
  return r;
}

std::vector<Record> RecordGenerator::take(int count) {
  std::vector<Record> out;
  out.reserve(static_cast<std::size_t>(std::max(0, count)));
  for (int i = 0; i < count; ++i) out.push_back(next());
  return out;
}

}  // namespace tavric::sim
