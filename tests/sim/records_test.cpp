#include <gtest/gtest.h>

#include <map>

#include "sim/record.h"
#include "sim/record_generator.h"

namespace {

using tavric::LocalDateTime;
using tavric::sim::Reading;
using tavric::sim::Record;

Record hex(const char* text) {
  Record r{};
  for (std::size_t i = 0; i < r.size(); ++i) {
    r[i] = static_cast<tavric::Byte>(std::stoi(std::string(text + 3 * i, 2), nullptr, 16));
  }
  return r;
}

Reading example_reading() {
  Reading in;
  in.probe_id = 1234;
  in.record_number = 17;
  in.time = {2012, 3, 4, 14, 5, 0};
  in.ambient = 21.5;
  in.temperature = {23.5, 18, 18, 18, 18, 18};
  in.moisture = {12.34, 30, 30, 30, 30, 30};
  in.battery_code = 10;
  in.volts = 3.6;
  return in;
}

// The kind-1 pair temperature as a reader of the record works it out.
double kind1_temperature(const Record& r, int pair) {
  int x = r[9];
  for (int i = 0; i < pair && i < 4; ++i) x >>= 1;
  int raw = ((r[10 + 3 * pair] * 256 + r[11 + 3 * pair]) >> 2) & 0xFFF0;
  if (x & 1) raw |= 0x4000;
  const double t = raw / 256.0;
  return t > 90 ? t - 128 : t;
}

double kind0_temperature(const Record& r, int pair) {
  const double t = ((r[13 + 3 * pair] >> 7) * 256 + r[12 + 3 * pair]) / 10.0;
  return t > 48 ? t - 50 : t;
}

TEST(Records, WorkedExamplesAreReproducedByteForByte) {
  const Record kind1 = tavric::sim::encode_kind1(example_reading());
  EXPECT_EQ(kind1, hex("1A 04 D2 61 B4 0D 00 11 2B 00 5E 04 D2 48 0B B8 48 0B B8 48 0B B8 48 0B "
                       "B8 48 0B B8 00 00 97 F6"));
  EXPECT_EQ(tavric::sim::record_check(kind1), 0);

  Reading k0 = example_reading();
  k0.time.second = 9;
  k0.tail_word = 5;
  EXPECT_EQ(tavric::sim::encode_kind0(k0),
            hex("00 04 D2 00 11 16 E6 33 15 15 80 24 EB 04 D2 B4 0B B8 B4 0B B8 B4 0B B8 B4 0B "
                "B8 B4 0B B8 00 05"));
}

TEST(Records, EncodersReachTheRangeEdges) {
  Reading in = example_reading();
  in.temperature = {-37.9375, 90.0, 0, 0, 64.0, 20.0};
  const Record k1 = tavric::sim::encode_kind1(in);
  EXPECT_EQ(k1[9] & 0x1F, 0x13);  // pairs 1, 2 and 5 carry the top bit
  EXPECT_DOUBLE_EQ(kind1_temperature(k1, 0), -37.9375);
  EXPECT_DOUBLE_EQ(kind1_temperature(k1, 1), 90.0);
  EXPECT_DOUBLE_EQ(kind1_temperature(k1, 4), 64.0);
  // Pair 6 shares pair 5's top bit, so its own is lost.
  EXPECT_DOUBLE_EQ(kind1_temperature(k1, 5), 84.0);

  in.temperature = {-1.9, 48.0, 0, 0, 0, 0};
  in.ambient = -1.0;
  in.power_fail = true;
  const Record k0 = tavric::sim::encode_kind0(in);
  EXPECT_NEAR(kind0_temperature(k0, 0), -1.9, 1e-9);
  EXPECT_NEAR(kind0_temperature(k0, 1), 48.0, 1e-9);
  EXPECT_EQ(k0[9], 0xFF);
  EXPECT_EQ(k0[10], 0x00);
  EXPECT_EQ(k0[11], 0xA4);
  EXPECT_EQ(tavric::sim::encode_kind0(in, 5)[0], 0x05);
}

TEST(Records, GeneratorIsReproducibleFromItsSeed) {
  tavric::sim::GeneratorOptions a;
  a.seed = 42;
  tavric::sim::GeneratorOptions b = a;
  b.seed = 43;
  const auto first = tavric::sim::RecordGenerator(a).take(50);
  EXPECT_EQ(first, tavric::sim::RecordGenerator(a).take(50));
  EXPECT_NE(first, tavric::sim::RecordGenerator(b).take(50));
}

TEST(Records, RealisticMixHoldsEveryKindWithPlausibleValues) {
  tavric::sim::GeneratorOptions options;
  options.seed = 7;
  const auto records = tavric::sim::RecordGenerator(options).take(4000);
  std::map<std::string, int> seen;
  std::map<int, int> last_number;  // per probe
  for (const Record& r : records) {
    for (std::size_t i = 0; i + 1 < r.size(); ++i) {
      ASSERT_FALSE(r[i] == 0x4F && r[i + 1] == 0x4E) << "frame mark inside a record";
    }
    const int kind = r[0] >> 4;
    const int probe = r[1] * 256 + r[2];
    const bool checked = tavric::sim::record_check(r) == 0;
    if (kind == 0 && r[0] != 0) {
      ++seen["bad"];
      continue;
    }
    if (kind != 0 && !checked) {
      ++seen["bad"];
      continue;
    }
    if (kind == 0) {
      ++seen["kind0"];
      if ((r[11] & 0x7F) < 34) ++seen["low"];
      for (int p = 0; p < 6; ++p) EXPECT_GT(kind0_temperature(r, p), 0);
    } else if (kind == 1 || kind == 2) {
      ++seen[kind == 1 ? "kind1" : "kind2"];
      const int code = r[0] & 15;
      if (code < 8) ++seen["low"];
      if (code == 15) ++seen["power fail"];
      if (kind == 1) {
        for (int p = 0; p < 6; ++p) {
          EXPECT_GT(kind1_temperature(r, p), 0);
          EXPECT_LT(kind1_temperature(r, p), 35);
          const int sm = ((r[11 + 3 * p] * 256 + r[12 + 3 * p]) & 0x3FFF);
          EXPECT_GE(sm, 500);
          EXPECT_LE(sm, 5500);
        }
      }
    } else {
      ++seen[(kind == 4 || kind == 5) ? "settings" : "invalid"];
      continue;
    }
    // Each probe counts its records up.
    const int number = kind == 0 ? r[3] * 256 + r[4] : r[6] * 256 + r[7];
    if (last_number.count(probe)) {
      EXPECT_GT(number, last_number[probe]);
    }
    last_number[probe] = number;
  }
  for (const char* what :
       {"kind0", "kind1", "kind2", "settings", "invalid", "bad", "low", "power fail"}) {
    EXPECT_GT(seen[what], 0) << what;
  }
  EXPECT_GT(seen["kind1"], 3000);
}

}  // namespace
