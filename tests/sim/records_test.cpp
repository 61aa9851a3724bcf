#include <gtest/gtest.h>

#include <map>

#include "sim/record.h"
#include "sim/record_generator.h"

namespace {

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

// The realistic mix has a probe that misses a stretch of rounds and one that falls
// silent; the clean mix has every probe in every round.
TEST(Records, ProbesThatMissRoundsAndFallSilent) {
  for (const bool clean : {false, true}) {
    tavric::sim::GeneratorOptions options;
    if (clean) options.mix = tavric::sim::RecordMix::clean();
    const auto records = tavric::sim::RecordGenerator(options).take(600);
    std::map<int, std::vector<std::size_t>> at;  // each probe's places in the store
    std::vector<int> ids;
    for (std::size_t i = 0; i < records.size(); ++i) {
      const int id = records[i][1] * 256 + records[i][2];
      if (at[id].empty()) ids.push_back(id);
      at[id].push_back(i);
    }
    ASSERT_EQ(ids.size(), 6U);
    for (std::size_t p = 0; p < ids.size(); ++p) {
      const std::vector<std::size_t>& places = at[ids[p]];
      int long_waits = 0;
      for (std::size_t k = 1; k < places.size(); ++k) long_waits += places[k] - places[k - 1] > 6;
      EXPECT_EQ(long_waits, !clean && p == 1 ? 1 : 0) << p;
      if (p == 5) {
        EXPECT_EQ(places.size(), clean ? 100U : 70U);  // of 100 rounds or more
      }
    }
  }
}

}  // namespace
