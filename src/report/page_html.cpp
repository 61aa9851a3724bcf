#include "report/page_html.h"

#include <cmath>
#include <cstdlib>

#include "readings/output_files.h"
#include "report/chart_data.h"
#include "report/decimal_text.h"
#include "report/health_rules.h"
#include "report/page_assets.h"
#include "report/probe_health.h"

namespace tavric::report {
namespace {

std::string escaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string date_time_text(const LocalDateTime& t) {
  return format_date(t) + " " + format_time(t);
}

std::string count_text(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string fact(const char* name, const std::string& html) {
  return std::string("<div><dt>") + name + "</dt><dd>" + html + "</dd></div>\n";
}

std::string last_run_fact(const FieldData& data, const PageFacts& facts) {
  if (!data.last_run) return "no dump of a run is left in " + escaped(kDumpFolder);
  const LastRun& run = *data.last_run;
  const std::string brought = count_text(run.readings, "reading", "readings");
  const std::string newest = run.newest ? ", the newest taken " + time_text(*run.newest) : "";
  if (facts.run_ended) {
    return "ended " + date_time_text(*facts.run_ended) + ", brought " + brought + newest;
  }
  return "the newest dump (Dump00.csv) holds " + brought + newest;
}

std::string readings_fact(const FieldData& data) {
  std::uint64_t readings = 0;
  std::uint64_t repeats = 0;
  for (const auto& [id, p] : data.probes) {
    readings += p.readings();
    repeats += p.repeats();
  }
  std::string text = count_text(readings, "reading", "readings") + " of " +
                     count_text(data.probes.size(), "probe", "probes");
  if (repeats > 0) {
    text += "; <strong class=\"bad\">" +
            count_text(repeats, "line repeats a reading", "lines repeat a reading") +
            "</strong> (charted once)";
  }
  if (data.lines_skipped > 0) {
    text += "; <strong class=\"bad\">" + count_text(data.lines_skipped, "line does", "lines do") +
            " not read as a reading and " + (data.lines_skipped == 1 ? "was" : "were") +
            " skipped</strong> (line";
    text += data.first_skipped.size() == 1 ? " " : "s ";
    for (std::size_t i = 0; i < data.first_skipped.size(); ++i) {
      text += (i ? ", " : "") + std::to_string(data.first_skipped[i]);
    }
    text += data.lines_skipped > data.first_skipped.size() ? ", …)" : ")";
  }
  return text;
}

std::string ambient_fact(const FieldData& data) {
  std::string text =
      "not kept in the probe data file; taken from the dump files of the last runs in " +
      escaped(kDumpFolder) + ", matched to each probe by its readings' times. ";
  if (!data.ambient_from) return text + "No dump holds any, so the charts show none.";
  return text + "They cover " + time_text(*data.ambient_from) + " to " +
         time_text(*data.ambient_to) + " (" + count_text(data.dumps_read, "dump", "dumps") +
         "); earlier readings have none.";
}

std::string low_batteries_fact(const FieldData& data) {
  if (!data.last_run) return "no dump of a run is left to tell";
  const std::string units = data.last_run_low.text();
  // The same units and values as the run's "Low Batteries" message.
  return "<span id=\"low-batteries\"" + std::string(units.empty() ? " class=\"none\">" : ">") +
         (units.empty() ? "none" : units) + "</span>";
}

std::string unknown_damage_fact(const FieldData& data) {
  std::uint64_t records = 0;
  std::string ids;
  int named = 0;
  for (const auto& [id, d] : data.damage) {
    if (data.probes.count(id)) continue;
    records += d.crc_errors + d.invalid;
    if (named++ < 8) ids += (ids.empty() ? "" : ", ") + std::to_string(id);
  }
  if (records == 0) return {};
  return fact("Damaged records",
              count_text(records, "damaged record", "damaged records") +
                  " in the dumps name probe ids with no reading in the probe data file (" + ids +
                  (named > 8 ? ", …" : "") + ")");
}

std::string battery_cell(const ProbeSummary& p) {
  const Hundredths volts = p.latest_volts();
  std::string cell = "<td class=\"num\">";
  if (volts >= rules::kVoltsCodes) {
    cell += "<div class=\"warn\">" +
            (volts == 99900 ? std::string("power fail") : "code " + decimal_text(volts)) + "</div>";
  } else {
    const bool low = volts < rules::kLowVolts;
    cell += std::string(low ? "<div class=\"warn\">" : "<div>") + decimal_text(volts) + " V" +
            (low ? " <span class=\"marker\">▼ low</span>" : "") + "</div>";
  }
  const auto line = [&](const char* what, std::optional<Hundredths> v) {
    if (!v) return;
    const bool low = *v < rules::kLowVolts;
    cell += std::string("<div class=\"sub") + (low ? " warn" : "") + "\">" + what + " " +
            decimal_text(*v) + " V</div>";
  };
  line("last run", p.last_run_lowest());
  line(("lowest, " + std::to_string(rules::kBatteryDays) + " d").c_str(), p.battery().lowest());
  if (const auto trend = p.battery().trend_per_week()) {
    const auto per_week = static_cast<Hundredths>(std::lround(*trend));
    const char* way = per_week <= -rules::kTrendPerWeek  ? "falling "
                      : per_week >= rules::kTrendPerWeek ? "rising "
                                                         : "steady";
    cell +=
        std::string("<div class=\"sub") + (per_week <= -rules::kTrendPerWeek ? " warn" : "") +
        "\">" + way +
        (std::abs(per_week) >= rules::kTrendPerWeek ? decimal_text(std::abs(per_week)) + " V/week"
                                                    : "") +
        "</div>";
  }
  return cell + "</td>";
}

const char* level_name(Level level) {
  switch (level) {
    case Level::Alert:
      return "alert";
    case Level::Watch:
      return "watch";
    case Level::Ok:
      break;
  }
  return "ok";
}

std::string reasons_text(const ProbeHealth& h) {
  std::string out;
  for (const Finding& f : h.findings) {
    const std::string name = reason_name(f.reason);
    if (out.find(name) == std::string::npos) out += (out.empty() ? "" : " ") + name;
  }
  return out;
}

std::string probe_row(const ProbeSummary& p, const ProbeHealth& h, bool last_run_known) {
  const std::string reasons = reasons_text(h);
  std::string row = "<tr data-probe=\"" + std::to_string(p.probe()) + "\" data-readings=\"" +
                    std::to_string(p.readings()) + "\" data-level=\"" + level_name(h.level) +
                    "\" data-reasons=\"" + reasons + "\" class=\"" + level_name(h.level) +
                    "\" tabindex=\"0\"><td class=\"status\"><span class=\"dot\"></span>" +
                    std::to_string(p.probe()) + "</td><td class=\"reasons\">";
  if (reasons.empty()) {
    row += "ok";
  } else {
    std::size_t at = 0;
    while (at < reasons.size()) {
      const std::size_t end = std::min(reasons.find(' ', at), reasons.size());
      row += "<span class=\"tag\">" + reasons.substr(at, end - at) + "</span>";
      at = end + 1;
    }
  }
  row += "</td>" + battery_cell(p) + "<td class=\"num\">" + std::to_string(p.readings()) +
         (h.usual ? "<div class=\"sub\">every " + duration_text(*h.usual) + "</div>" : "") +
         "</td><td>" + time_text(p.first()) + "<div class=\"sub\">to " + time_text(p.last()) +
         "</div></td><td>";
  for (const Finding& f : h.findings) {
    row += std::string("<div class=\"finding ") + level_name(f.level) + "\">" + escaped(f.text) +
           "</div>";
  }
  if (h.findings.empty()) row += "<div class=\"finding ok\">ok</div>";
  if (last_run_known && !p.in_last_run())
    row += "<div class=\"finding\">no reading in the last run</div>";
  return row + "</td></tr>\n";
}

std::string rules_section() {
  std::string out = "<section id=\"rules\"><details><summary>What the page judges</summary><dl>\n";
  for (const rules::RuleText& r : rules::rule_texts()) {
    out += "<dt>" + escaped(r.name) + "</dt><dd>" + escaped(r.judged) + "</dd>\n";
  }
  return out +
         "</dl><p>Red: a visit is due now (a low battery in the last run, a silent probe, a "
         "sensor that reads wrong now). Amber: worth a look.</p></details></section>\n";
}

std::string no_readings_text(const FieldData& data) {
  return std::string("<p class=\"empty\">No readings to show: the probe data file ") +
         escaped(kProbeDataFile) +
         (data.probe_data_found ? " holds no reading yet." : " is not in this folder yet.") +
         "</p>\n";
}

constexpr const char* kChartsSection = R"(<section id="charts" aria-live="polite">
<div class="chart-head"><h2 id="chart-title">Probe</h2>
<div class="tools"><span class="help">Drag across a chart to zoom, Shift+drag to pan,
double-click or <button type="button" id="reset">Reset zoom</button> to see it all.</span></div></div>
<p class="note" id="chart-note"></p>
<div class="chart"><h3>Soil moisture (%)</h3><div class="plot" id="moisture"></div><div class="legend" id="moisture-legend"></div></div>
<div class="chart"><h3>Temperature (°C): soil and ambient</h3><div class="plot" id="temperature"></div><div class="legend" id="temperature-legend"></div></div>
<div class="chart"><h3>Battery (V)</h3><div class="plot short" id="battery"></div><div class="legend" id="battery-legend"></div></div>
</section>
)";

}  // namespace

void write_page(const FieldData& data, const PageFacts& facts,
                const std::function<void(std::string_view)>& out) {
  out("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<title>Tavric probe data</title>\n<style>\n");
  out(kDygraphStyle);
  out(kPageStyle);
  out("</style>\n</head>\n<body>\n<header>\n<h1>Tavric probe data</h1>\n<dl class=\"facts\">\n");
  out(fact("Folder", escaped(path_text(facts.folder))));
  out(fact("Last run", last_run_fact(data, facts)));
  out(fact("Low batteries", low_batteries_fact(data)));
  out(fact("Readings", readings_fact(data)));
  out(unknown_damage_fact(data));
  out(fact("Ambient temperature", ambient_fact(data)));
  out(fact("Page written", date_time_text(facts.written)));
  out("</dl>\n</header>\n<main>\n");
  if (data.probes.empty()) {
    out(no_readings_text(data));
    out("</main>\n</body>\n</html>\n");
    return;
  }
  const std::vector<ProbeHealth> health = judge_probes(data);
  out("<section id=\"probes\"><table>\n<thead><tr><th>Probe</th><th>Needs a look</th>"
      "<th>Battery</th><th>Readings</th><th>Readings from</th><th>Findings</th></tr>"
      "</thead>\n<tbody>\n");
  for (const ProbeHealth& h : health)
    out(probe_row(data.probes.at(h.probe), h, data.last_run.has_value()));
  out("</tbody></table></section>\n");
  out(kChartsSection);
  out("</main>\n<script type=\"application/json\" id=\"chart-data\">");
  const std::size_t buckets = buckets_per_line(data, kPagePoints);
  write_chart_data(data, health, buckets, out);
  out("</script>\n<script>\n");
  out(kDygraphScript);
  out("\n</script>\n<script>\nconst BUCKETS_PER_LINE = " + std::to_string(buckets) + ";\n");
  out(kPageScript);
  out("</script>\n");
  out(rules_section());
  out("</body>\n</html>\n");
}

}  // namespace tavric::report
