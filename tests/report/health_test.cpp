#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "readings/low_battery.h"
#include "report/chart_data.h"
#include "report/field_scan.h"
#include "report/probe_health.h"

// The rules the page judges each probe by: for each, readings that it flags and
// readings just on the other side of its line that it does not.
namespace tavric::report {
namespace {

constexpr Seconds kQuarter = 900;
constexpr Seconds kDay = 24 * 3600;

ProbeDataLine reading(int probe, Seconds time, Hundredths volts = 360) {
  ProbeDataLine l;
  l.probe = probe;
  l.time = time;
  // Values that move a little with every reading, as soil does.
  for (int d = 0; d < kDepths; ++d) {
    l.temperature[d] = 1500 + d * 10 + (time / kQuarter) % 7;
    l.moisture[d] = 2500 + d * 100 + (time / kQuarter) % 5;
  }
  l.volts = volts;
  return l;
}

using Change = std::function<void(ProbeDataLine&)>;

// Probe 7 read every quarter hour for a day and a half, each line passed through
// `change` (which may drop it by setting its probe to 0), beside probe 8, read alike.
FieldData field(const Change& change) {
  FieldData data;
  for (Seconds t = 0; t <= kDay * 3 / 2; t += kQuarter) {
    for (int probe : {7, 8}) {
      ProbeDataLine l = reading(probe, t);
      if (probe == 7) change(l);
      if (l.probe == 0) continue;
      data.probes.try_emplace(probe, probe).first->second.add(l);
    }
  }
  return data;
}

const ProbeHealth& of(const std::vector<ProbeHealth>& all, int probe) {
  return *std::find_if(all.begin(), all.end(),
                       [&](const ProbeHealth& h) { return h.probe == probe; });
}

// The texts of probe 7's findings for `reason`, with their levels.
std::vector<std::string> said(const FieldData& data, Reason reason) {
  std::vector<std::string> out;
  const std::vector<ProbeHealth> all = judge_probes(data);
  for (const Finding& f : of(all, 7).findings) {
    if (f.reason != reason) continue;
    out.push_back(std::string(f.level == Level::Alert ? "alert: " : "watch: ") + f.text);
  }
  return out;
}

struct RuleCase {
  const char* name;
  Reason reason;
  Change change;
  std::vector<std::string> expected;  // empty: not flagged
};

void check(const std::vector<RuleCase>& cases) {
  for (const RuleCase& c : cases) {
    EXPECT_EQ(said(field(c.change), c.reason), c.expected) << c.name;
  }
}

const Seconds kEnd = kDay * 3 / 2;

TEST(Rules, Battery) {
  check({
      {"3.1 V two days back",
       Reason::Battery,
       [](ProbeDataLine& l) { l.volts = l.time == kDay / 2 ? 310 : 360; },
       {"watch: battery down to 3.1 V in the last 7 days"}},
      {"3.4 V is not low", Reason::Battery, [](ProbeDataLine& l) { l.volts = 340; }, {}},
      {"2.1 V is no battery reading",
       Reason::Battery,
       [](ProbeDataLine& l) { l.volts = l.time == kDay ? 210 : 360; },
       {}},
      {"steady",
       Reason::Battery,
       [](ProbeDataLine& l) { l.volts = 360 + (l.time / kQuarter) % 2 * 10; },
       {}},
  });

  // Low in the last run: the dump's readings decide, as they decide the run's message.
  FieldData data = field([](ProbeDataLine&) {});
  data.probes.at(7).add_last_run(330);
  data.probes.at(8).add_last_run(340);
  const auto all = judge_probes(data);
  EXPECT_EQ(of(all, 7).findings.at(0).text, "battery low in the last run: 3.3 V");
  EXPECT_EQ(of(all, 7).level, Level::Alert);
  EXPECT_EQ(of(all, 8).level, Level::Ok);

  // A trend needs three days: 0.1 V a day is 0.7 V a week, flagged; two days are not.
  ProbeSummary falling(7);
  for (Seconds day = 0; day < 4; ++day) falling.add(reading(7, day * kDay, 380 - 10 * day));
  EXPECT_NEAR(falling.battery().trend_per_week().value_or(0), -70, 1e-9);
  FieldData with_falling;
  with_falling.probes.emplace(7, falling);
  EXPECT_EQ(said(with_falling, Reason::Battery),
            std::vector<std::string>{"watch: battery falling 0.7 V a week"});
  ProbeSummary two_days(7);
  two_days.add(reading(7, 0, 380));
  two_days.add(reading(7, kDay, 300));
  EXPECT_FALSE(two_days.battery().trend_per_week());

  // Readings from before the last seven days do not count, whatever order they come in.
  ProbeSummary p(7);
  p.add(reading(7, 10 * kDay, 360));
  p.add(reading(7, 2 * kDay, 300));
  p.add(reading(7, 3 * kDay + 1, 330));
  p.add(reading(7, 4 * kDay, 350));
  EXPECT_EQ(p.battery().lowest(), 350);
}

TEST(Rules, GapsAndSilence) {
  const auto lost = [](Seconds from, Seconds to) {
    return [=](ProbeDataLine& l) {
      if (l.time >= from && l.time <= to) l.probe = 0;
    };
  };
  check({
      {"two readings lost",
       Reason::Gaps,
       lost(kDay / 2, kDay / 2 + kQuarter),
       {"watch: 1 gap (usual interval 15 min), the longest 45 min from 2000/01/01 11:45:00 to "
        "2000/01/01 12:30:00"}},
      {"one reading lost", Reason::Gaps, lost(kDay / 2, kDay / 2), {}},
      {"silent for the last three readings",
       Reason::Silent,
       lost(kEnd - 2 * kQuarter, kEnd),
       {"alert: silent since 2000/01/02 11:15:00, 45 min behind the network's newest reading"}},
      {"the last two readings lost", Reason::Silent, lost(kEnd - kQuarter, kEnd), {}},
  });
  const FieldData data = field(lost(kDay / 2, kDay / 2 + kQuarter));
  EXPECT_EQ(of(judge_probes(data), 7).gaps,
            (std::vector<Gap>{{kDay / 2 - kQuarter, kDay / 2 + 2 * kQuarter}}));
  // The charts shade it: the page's script gets it with the probe's lines.
  std::string json;
  write_chart_data(data, judge_probes(data), 64, [&](std::string_view piece) { json += piece; });
  EXPECT_NE(json.find("\"gaps\":[[42300,45000]],\"marks\":[]}"), std::string::npos)
      << json.substr(0, 200);
}

TEST(Rules, RepeatsAndConflicts) {
  FieldData data = field([](ProbeDataLine&) {});
  ProbeSummary& p = data.probes.at(7);
  const std::uint64_t before = p.readings();
  p.add(reading(7, kDay));  // a line of a reload, twice
  p.add(reading(7, kDay));
  ProbeDataLine other = reading(7, kDay / 2);
  other.moisture[2] += 1;
  p.add(other);
  EXPECT_EQ(p.readings(), before + 1);  // the conflicting one is a reading of its own
  EXPECT_EQ(p.line(kMoistureLine).count(), before + 1);
  EXPECT_EQ(said(data, Reason::Repeats),
            (std::vector<std::string>{
                "watch: 2 lines repeat a reading (charted once)",
                "watch: 1 conflicting reading (same time, other values), the latest at "
                "2000/01/01 12:00:00"}));
  EXPECT_TRUE(said(field([](ProbeDataLine&) {}), Reason::Repeats).empty());
}

TEST(Rules, RepeatsBeyondTheWindowAreToldUnchecked) {
  RepeatWatch w(4);
  for (Seconds t = 0; t < 10; ++t) w.add_forward(t * 60, static_cast<std::uint32_t>(t));
  EXPECT_EQ(w.add_earlier(9 * 60, 9), RepeatWatch::Seen::Repeat);
  EXPECT_EQ(w.add_earlier(6 * 60, 0), RepeatWatch::Seen::Conflict);
  EXPECT_EQ(w.add_earlier(6 * 60 + 1, 0), RepeatWatch::Seen::New);  // out of order, but new
  EXPECT_EQ(w.add_earlier(6 * 60 + 1, 0), RepeatWatch::Seen::Repeat);
  EXPECT_EQ(w.unchecked(), 0U);
  EXPECT_EQ(w.add_earlier(60, 1), RepeatWatch::Seen::New);  // let go of long ago
  EXPECT_EQ(w.unchecked(), 1U);
}

TEST(Rules, Sensors) {
  const auto at = [](Seconds from, Seconds to, const std::function<void(ProbeDataLine&)>& f) {
    return [=](ProbeDataLine& l) {
      if (l.time >= from && l.time <= to) f(l);
    };
  };
  check({
      {"stuck for a day",
       Reason::Sensor,
       at(kDay / 2, kEnd, [](ProbeDataLine& l) { l.moisture[2] = 3120; }),
       {"alert: Water%3 stuck at 31.2 since 2000/01/01 12:00:00"}},
      {"held for less than a day",
       Reason::Sensor,
       at(kDay / 2 + kQuarter, kEnd, [](ProbeDataLine& l) { l.moisture[2] = 3120; }),
       {}},
      // Near the line already, so that no step is seen on the way.
      {"moisture above 100 %",
       Reason::Sensor,
       [](ProbeDataLine& l) {
         l.moisture[0] =
             l.time == kDay || l.time == kDay + kQuarter ? 10001 : 9950 + l.moisture[1] % 5;
       },
       {"watch: Water%1 out of range in 2 readings, the latest 100.01 % at 2000/01/02 00:00:00 to "
        "2000/01/02 00:15:00"}},
      {"moisture of 100 %",
       Reason::Sensor,
       [](ProbeDataLine& l) { l.moisture[0] = l.time == kDay ? 10000 : 9950 + l.moisture[1] % 5; },
       {}},
      {"temperature below -30 °C now",
       Reason::Sensor,
       [](ProbeDataLine& l) {
         l.temperature[5] = l.time == kEnd ? -3001 : -2990 + l.moisture[1] % 5;
       },
       {"alert: Temp6 out of range in 1 reading, the latest -30.01 °C at 2000/01/02 12:00:00"}},
      {"a step of one depth alone",
       Reason::Sensor,
       at(kDay, kEnd, [](ProbeDataLine& l) { l.moisture[3] += 1200; }),
       {"watch: Water%4 1 step no neighbouring depth shows, the latest +12.01 % at 2000/01/02 "
        "00:00:00"}},
      {"a step the depth below shows",
       Reason::Sensor,
       at(kDay, kEnd,
          [](ProbeDataLine& l) {
            l.moisture[3] += 1200;
            l.moisture[4] += 300;
          }),
       {}},
      {"a sensor that reads 0",
       Reason::Sensor,
       at(kEnd - kQuarter, kEnd, [](ProbeDataLine& l) { l.moisture[1] = l.temperature[1] = 0; }),
       {"alert: reads 0: Temp2, Water%2",
        "watch: Temp2 1 step no neighbouring depth shows, the latest -15.12 °C at 2000/01/02 "
        "11:45:00",
        "watch: Water%2 1 step no neighbouring depth shows, the latest -26.02 % at 2000/01/02 "
        "11:45:00"}},
  });
}

TEST(Rules, WorstFirstAndOk) {
  FieldData data = field([](ProbeDataLine&) {});
  data.probes.try_emplace(3, 3).first->second.add(reading(3, kEnd, 360));  // one reading: ok
  data.probes.try_emplace(9, 9).first->second.add(reading(9, 0));          // silent
  data.damage[8].crc_errors = 2;
  data.damage[8].dumps.set(0);
  data.damage[8].dumps.set(3);
  data.dump_newest[3] = kDay;
  const auto all = judge_probes(data);
  std::vector<int> order;
  for (const ProbeHealth& h : all) order.push_back(h.probe);
  EXPECT_EQ(order, (std::vector<int>{9, 8, 3, 7}));
  EXPECT_EQ(of(all, 8).findings.at(0).text,
            "2 CRC errors in the dumps, from the last run, Dump03.csv (to 2000/01/02 00:00:00)");
  EXPECT_TRUE(of(all, 3).findings.empty());
}

// The last run's low batteries, by the rule of the run's own message.
TEST(LowBatteryList, AsTheRunsMessage) {
  LowBatteryList list;
  for (const auto& [probe, volts] : std::vector<std::pair<int, Hundredths>>{
           {17, 330}, {17, 300}, {4, 210}, {17, 320}, {5, 310}, {0, 250}, {6, 340}}) {
    list.add(probe, volts);
  }
  EXPECT_EQ(list.text(), "17 (3.0V), 5 (3.1V)");
  for (int probe = 100; probe < 300; ++probe) list.add(probe, 250);
  EXPECT_EQ(list.units().size(), 100U);  // the run names its first 100 units only
  EXPECT_EQ(LowBatteryList().text(), "");
  // The page judges by the run's own lines, which live apart from it.
  EXPECT_EQ(rules::kLowVolts, static_cast<Hundredths>(kLowBatteryVolts * 100 + 0.5F));
  EXPECT_EQ(rules::kLowestBattery, static_cast<Hundredths>(kLowestBatteryVolts * 100 + 0.5F));
}

TEST(IntervalWatch, MedianAndLongSpacings) {
  IntervalWatch w;
  Seconds t = 0;
  w.add(t);
  for (const Seconds step : {900, 907, 893, 900, 100000, 900, 5000, 900, 100001}) w.add(t += step);
  EXPECT_EQ(w.usual(), 900);
  EXPECT_EQ(w.count_longer(gap_limit(900, 2)), 3U);
  EXPECT_EQ(w.count_longer(100000), 1U);  // in one bin with 100000, told apart by the kept ones
  EXPECT_EQ(w.longest(5000).size(), 2U);

  // A reading that comes after later ones closes the gap it falls in.
  IntervalWatch late;
  for (const Seconds at : {0, 900, 3600, 4500}) late.add(at);
  EXPECT_EQ(late.count_longer(2000), 1U);
  late.add_earlier(1800);
  late.add_earlier(2700);
  late.add_earlier(-900);  // before the first
  EXPECT_EQ(late.count_longer(900), 0U);
  EXPECT_TRUE(late.longest(900).empty());
  EXPECT_EQ(late.usual(), 900);
}

}  // namespace
}  // namespace tavric::report
