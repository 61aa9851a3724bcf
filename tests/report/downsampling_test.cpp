#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "report/downsampler.h"

// Thinning a chart's line: every point while there is room, then at most twice the
// buckets, always in time order, and no peak or trough lost.
namespace tavric::report {
namespace {

bool in_time_order(const std::vector<Point>& points) {
  return std::is_sorted(points.begin(), points.end(),
                        [](const Point& a, const Point& b) { return a.time < b.time; }) &&
         std::adjacent_find(points.begin(), points.end(), [](const Point& a, const Point& b) {
           return a.time == b.time;
         }) == points.end();
}

TEST(Downsampler, KeepsEveryPointWhileThereIsRoomInTimeOrderEachOnce) {
  Downsampler d(8);
  std::vector<Point> given;
  for (int i = 0; i < 7; ++i) given.push_back({i * 900, (i * 37) % 11});
  for (auto p = given.rbegin(); p != given.rend(); ++p) d.add(*p);  // newest first
  d.add(given[3]);                                                  // a reading written twice
  EXPECT_EQ(d.points(), given);
  EXPECT_EQ(d.count(), 8U);
}

TEST(Downsampler, KeepsEveryExtremeOfAWavyLineWithSpikes) {
  for (const std::size_t buckets : {16U, 1024U}) {
    Downsampler d(buckets);
    const int n = 100'003;
    const std::vector<int> spikes = {17, 4'242, 50'001, n - 1};  // one at the very end
    for (int i = 0; i < n; ++i) {
      Hundredths v = static_cast<Hundredths>(1000 * std::sin(i / 500.0));
      if (std::find(spikes.begin(), spikes.end(), i) != spikes.end()) v = (i % 2 ? 9999 : -9999);
      d.add({i * 60, v});
    }
    const std::vector<Point> kept = d.points();
    EXPECT_LE(kept.size(), 2 * buckets);
    EXPECT_GE(kept.size(), buckets);  // the room is used, not halved away
    EXPECT_TRUE(in_time_order(kept));
    for (const int i : spikes) {
      EXPECT_NE(std::find(kept.begin(), kept.end(), Point{i * 60, i % 2 ? 9999 : -9999}),
                kept.end())
          << "spike at " << i << " lost with " << buckets << " buckets";
    }
    // Thinned further for the page: fewer points, the spikes still there.
    const std::vector<Point> fewer = d.points(4);
    EXPECT_LE(fewer.size(), 8U);
    EXPECT_TRUE(in_time_order(fewer));
    EXPECT_NE(std::find(fewer.begin(), fewer.end(), Point{4'242 * 60, -9999}), fewer.end());
    EXPECT_NE(std::find(fewer.begin(), fewer.end(), Point{50'001 * 60, 9999}), fewer.end());
  }
}

}  // namespace
}  // namespace tavric::report
