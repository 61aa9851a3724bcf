#include <gtest/gtest.h>

#include <algorithm>

#include "report/probe_summary.h"

// The table's warnings: a sensor that reads 0 or the same value for a whole day, a
// probe the last run did not hear from; and readings out of time order.
namespace tavric::report {
namespace {

constexpr Seconds kQuarter = 900;
constexpr Seconds kDay = 24 * 3600;

ProbeDataLine reading(Seconds time, Hundredths moisture3 = 2500, Hundredths temperature3 = 1800) {
  ProbeDataLine l;
  l.probe = 7;
  l.time = time;
  l.temperature.fill(1800);
  l.moisture.fill(2500);
  l.moisture[2] = moisture3;
  l.temperature[2] = temperature3;
  l.volts = 360;
  return l;
}

// Readings every quarter hour over `span`, the other columns moving.
void feed(ProbeSummary& p, Seconds from, Seconds span, Hundredths moisture3,
          Hundredths temperature3) {
  for (Seconds t = from; t <= from + span; t += kQuarter) {
    ProbeDataLine l = reading(t, moisture3, temperature3);
    l.temperature[0] = 1800 + (t / kQuarter) % 7;
    l.moisture[0] = 2500 + (t / kQuarter) % 5;
    l.temperature[1] = 1700 + (t / kQuarter) % 3;
    l.moisture[1] = 2400 + (t / kQuarter) % 3;
    for (int d = 3; d < kDepths; ++d) {
      l.temperature[d] += (t / kQuarter) % 2;
      l.moisture[d] += (t / kQuarter) % 2;
    }
    p.add(l);
  }
}

TEST(Warnings, ASensorThatReadsZero) {
  ProbeSummary p(7);
  feed(p, 0, kDay / 2, 0, 0);
  EXPECT_EQ(p.warnings(false), std::vector<std::string>{"reads 0: Temp3, Water%3"});

  // Soil at 0.0 °C is no fault while its moisture reads.
  ProbeSummary frost(7);
  feed(frost, 0, kDay / 2, 2511, 0);
  EXPECT_TRUE(frost.warnings(false).empty());
}

TEST(Warnings, AValueHeldForAWholeDay) {
  ProbeSummary held(7);
  feed(held, 0, kDay - kQuarter, 3120, 1900);
  held.add(reading(kDay - kQuarter / 2, 2500, 1901));
  EXPECT_TRUE(held.warnings(false).empty()) << "under a day is no fault";

  ProbeSummary stuck(7);
  feed(stuck, 0, kDay, 3120, 1900);
  EXPECT_EQ(stuck.warnings(false),
            (std::vector<std::string>{"Temp3 stuck at 19 since 2000/01/01 00:00:00",
                                      "Water%3 stuck at 31.2 since 2000/01/01 00:00:00"}));
  // The sensor reads again: the stretch is named by its end.
  stuck.add(reading(kDay + kQuarter, 3121, 1900));
  EXPECT_EQ(stuck.warnings(false)[1],
            "Water%3 stuck at 31.2 from 2000/01/01 00:00:00 to 2000/01/02 00:00:00");
}

TEST(Warnings, LastRunAndReadingsOutOfOrder) {
  ProbeSummary p(7);
  feed(p, 0, kDay / 4, 2500, 1800);
  p.add(reading(kQuarter, 0, 0));  // an older reading, its sensors dead
  EXPECT_EQ(p.readings(), 26U);
  EXPECT_EQ(p.line(kMoistureLine + 2).count(), 26U);
  const std::vector<Point> charted = p.line(kMoistureLine + 2).points();
  EXPECT_NE(std::find(charted.begin(), charted.end(), Point{kQuarter, 0}), charted.end());
  EXPECT_EQ(p.last(), kDay / 4);  // and the latest reading still says how it is now
  EXPECT_EQ(p.warnings(true), std::vector<std::string>{"no reading in the last run"});
  p.mark_in_last_run();
  EXPECT_TRUE(p.warnings(true).empty());
}

}  // namespace
}  // namespace tavric::report
