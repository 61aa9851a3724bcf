#include "report/probe_health.h"

#include <algorithm>
#include <cmath>

#include "report/decimal_text.h"
#include "report/health_rules.h"

namespace tavric::report {
namespace {

std::string count_of(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string volts_text(Hundredths v) {
  return decimal_text(v) + " V";
}

std::string value_text(int column, Hundredths v) {
  return decimal_text(v) + (column < kDepths ? " °C" : " %");
}

// "the last run", "2 runs before it": which runs a probe's damaged records came in.
std::string dumps_text(const Damage& d, const FieldData& data) {
  std::string out;
  int named = 0;
  for (int n = 0; n < kDumpFiles; ++n) {
    if (!d.dumps.test(static_cast<std::size_t>(n))) continue;
    if (named == 4) return out + ", …";
    std::string run = n == 0 ? "the last run"
                             : "Dump" + std::string(n < 10 ? "0" : "") + std::to_string(n) + ".csv";
    if (n > 0 && data.dump_newest[static_cast<std::size_t>(n)]) {
      run += " (to " + time_text(*data.dump_newest[static_cast<std::size_t>(n)]) + ")";
    }
    out += (named++ ? ", " : "") + run;
  }
  return out;
}

void judge_battery(const ProbeSummary& p, ProbeHealth& h) {
  if (const auto last = p.last_run_lowest(); last && *last < rules::kLowVolts) {
    h.findings.push_back(
        {Reason::Battery, Level::Alert, "battery low in the last run: " + volts_text(*last)});
  } else if (const auto week = p.battery().lowest(); week && *week < rules::kLowVolts) {
    h.findings.push_back({Reason::Battery, Level::Watch,
                          "battery down to " + volts_text(*week) + " in the last " +
                              std::to_string(rules::kBatteryDays) + " days"});
  }
  if (const auto trend = p.battery().trend_per_week(); trend && *trend <= -rules::kTrendPerWeek) {
    h.findings.push_back({Reason::Battery, Level::Watch,
                          "battery falling " +
                              volts_text(static_cast<Hundredths>(std::lround(-*trend))) +
                              " a week"});
  }
  if (p.latest_volts() == 99900) {
    h.findings.push_back({Reason::Battery, Level::Alert, "power failure in its latest reading"});
  }
}

void judge_spacing(const ProbeSummary& p, std::optional<Seconds> network_newest,
                   std::optional<Seconds> network_usual, ProbeHealth& h) {
  h.usual = p.intervals().usual();
  const std::optional<Seconds> usual = h.usual ? h.usual : network_usual;
  if (!usual || *usual <= 0) return;
  if (network_newest && *network_newest - p.last() > gap_limit(*usual, rules::kSilentIntervals)) {
    h.findings.push_back({Reason::Silent, Level::Alert,
                          "silent since " + time_text(p.last()) + ", " +
                              duration_text(*network_newest - p.last()) +
                              " behind the network's newest reading"});
  }
  if (!h.usual) return;
  const Seconds limit = gap_limit(*h.usual, rules::kGapIntervals);
  const std::uint64_t gaps = p.intervals().count_longer(limit);
  if (gaps == 0) return;
  h.gaps = p.intervals().longest(limit);
  const auto longest =
      std::max_element(h.gaps.begin(), h.gaps.end(),
                       [](const Gap& a, const Gap& b) { return a.length() < b.length(); });
  std::string text =
      count_of(gaps, "gap", "gaps") + " (usual interval " + duration_text(*h.usual) + ")";
  if (longest != h.gaps.end()) {
    text += ", the longest " + duration_text(longest->length()) + " from " +
            time_text(longest->from) + " to " + time_text(longest->to);
  }
  if (gaps > h.gaps.size()) text += "; the " + std::to_string(h.gaps.size()) + " longest shaded";
  h.findings.push_back({Reason::Gaps, Level::Watch, text});
}

void judge_records(const ProbeSummary& p, const FieldData& data, ProbeHealth& h) {
  if (const auto d = data.damage.find(p.probe()); d != data.damage.end()) {
    std::string text;
    if (d->second.crc_errors) text = count_of(d->second.crc_errors, "CRC error", "CRC errors");
    if (d->second.invalid) {
      text += (text.empty() ? "" : " and ") +
              count_of(d->second.invalid, "invalid record", "invalid records");
    }
    h.findings.push_back({Reason::Damaged, Level::Watch,
                          text + " in the dumps, from " + dumps_text(d->second, data)});
  }
  if (p.repeats() > 0) {
    h.findings.push_back(
        {Reason::Repeats, Level::Watch,
         count_of(p.repeats(), "line repeats a reading", "lines repeat a reading") +
             " (charted once)"});
  }
  if (p.conflicts() > 0) {
    std::string text = count_of(p.conflicts(), "conflicting reading", "conflicting readings") +
                       " (same time, other values), the latest at " +
                       time_text(p.latest_conflicts().back());
    h.findings.push_back({Reason::Repeats, Level::Watch, text});
    for (const Seconds t : p.latest_conflicts()) {
      h.marks.push_back({-1, ChartMark::Kind::Conflict, t, t});
    }
  }
  if (p.unchecked() > 0) {
    h.findings.push_back({Reason::Repeats, Level::Watch,
                          count_of(p.unchecked(), "reading", "readings") +
                              " out of time order from further back than its last " +
                              std::to_string(rules::kRepeatWindow) +
                              " readings, not checked for repeats"});
  }
}

void judge_sensors(const ProbeSummary& p, ProbeHealth& h) {
  std::string zero;
  std::array<bool, kSensorColumns> reads_zero{};
  for (int c = 0; c < kSensorColumns; ++c) {
    // Soil can be at 0.0 °C; a temperature reads 0 as a fault only beside a moisture of 0.
    const int moisture = c < kDepths ? c + kDepths : c;
    reads_zero[c] = p.sensor(c).latest() == 0 && p.sensor(moisture).latest() == 0;
    if (reads_zero[c]) zero += (zero.empty() ? "" : ", ") + column_name(c);
  }
  if (!zero.empty()) h.findings.push_back({Reason::Sensor, Level::Alert, "reads 0: " + zero});
  for (int c = 0; c < kSensorColumns; ++c) {
    const SensorWatch& s = p.sensor(c);
    if (const auto flat = s.latest_flat_day()) {
      const bool now = s.flat_now();
      h.marks.push_back({c, ChartMark::Kind::Stuck, flat->from, flat->to});
      if (!(now && reads_zero[c])) {
        h.findings.push_back(
            {Reason::Sensor, now ? Level::Alert : Level::Watch,
             column_name(c) + " stuck at " + decimal_text(flat->value) +
                 (now ? " since " + time_text(flat->from)
                      : " from " + time_text(flat->from) + " to " + time_text(flat->to))});
      }
    }
    if (s.out_of_range() > 0) {
      const FlatStretch& last = s.out_of_range_stretches().back();
      for (const FlatStretch& o : s.out_of_range_stretches()) {
        h.marks.push_back({c, ChartMark::Kind::OutOfRange, o.from, o.to});
      }
      h.findings.push_back({Reason::Sensor, s.out_of_range_now() ? Level::Alert : Level::Watch,
                            column_name(c) + " out of range in " +
                                count_of(s.out_of_range(), "reading", "readings") +
                                ", the latest " + value_text(c, last.value) + " at " +
                                time_text(last.from) +
                                (last.to != last.from ? " to " + time_text(last.to) : "")});
    }
    if (s.steps() > 0) {
      const Point& step = s.latest_steps().back();
      for (const Point& st : s.latest_steps()) {
        h.marks.push_back({c, ChartMark::Kind::Step, st.time, st.time});
      }
      h.findings.push_back({Reason::Sensor, Level::Watch,
                            column_name(c) + " " + count_of(s.steps(), "step", "steps") +
                                " no neighbouring depth shows, the latest " +
                                (step.value > 0 ? "+" : "") + value_text(c, step.value) + " at " +
                                time_text(step.time)});
    }
  }
}

int alerts(const ProbeHealth& h) {
  return static_cast<int>(std::count_if(h.findings.begin(), h.findings.end(),
                                        [](const Finding& f) { return f.level == Level::Alert; }));
}

}  // namespace

const char* reason_name(Reason r) {
  switch (r) {
    case Reason::Battery:
      return "battery";
    case Reason::Silent:
      return "silent";
    case Reason::Gaps:
      return "gaps";
    case Reason::Damaged:
      return "damaged";
    case Reason::Repeats:
      return "repeats";
    case Reason::Sensor:
      return "sensor";
  }
  return "";
}

std::string duration_text(Seconds s) {
  const Seconds minutes = (s + 30) / 60;
  const Seconds days = minutes / 1440;
  const Seconds hours = minutes / 60 % 24;
  if (days > 0)
    return std::to_string(days) + " d" + (hours ? " " + std::to_string(hours) + " h" : "");
  if (minutes >= 60) {
    return std::to_string(minutes / 60) + " h" +
           (minutes % 60 ? " " + std::to_string(minutes % 60) + " min" : "");
  }
  if (s < 60) return std::to_string(s) + " s";
  return std::to_string(minutes) + " min";
}

std::vector<ProbeHealth> judge_probes(const FieldData& data) {
  std::optional<Seconds> newest;
  std::vector<Seconds> usuals;
  for (const auto& [id, p] : data.probes) {
    newest = std::max(newest.value_or(p.last()), p.last());
    if (const auto u = p.intervals().usual()) usuals.push_back(*u);
  }
  // For a probe with too few readings of its own, the interval most probes keep.
  std::optional<Seconds> network_usual;
  if (!usuals.empty()) {
    std::nth_element(usuals.begin(), usuals.begin() + usuals.size() / 2, usuals.end());
    network_usual = usuals[usuals.size() / 2];
  }
  std::vector<ProbeHealth> out;
  out.reserve(data.probes.size());
  for (const auto& [id, p] : data.probes) {
    ProbeHealth h;
    h.probe = id;
    judge_battery(p, h);
    judge_spacing(p, newest, network_usual, h);
    judge_records(p, data, h);
    judge_sensors(p, h);
    std::stable_sort(h.findings.begin(), h.findings.end(),
                     [](const Finding& a, const Finding& b) { return a.level > b.level; });
    h.level = h.findings.empty() ? Level::Ok : h.findings.front().level;
    out.push_back(std::move(h));
  }
  std::stable_sort(out.begin(), out.end(), [](const ProbeHealth& a, const ProbeHealth& b) {
    if (a.level != b.level) return a.level > b.level;
    if (alerts(a) != alerts(b)) return alerts(a) > alerts(b);
    return a.findings.size() > b.findings.size();
  });
  return out;
}

}  // namespace tavric::report
