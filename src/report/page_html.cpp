#include "report/page_html.h"

#include "readings/output_files.h"
#include "report/chart_data.h"
#include "report/decimal_text.h"
#include "report/page_assets.h"

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
  std::string text = count_text(data.lines_taken, "reading", "readings") + " of " +
                     count_text(data.probes.size(), "probe", "probes");
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

std::string battery_cell(Hundredths volts) {
  if (volts >= kVoltsCodes) {
    return "<td class=\"num warn\">" +
           (volts == 99900 ? std::string("power fail") : "code " + decimal_text(volts)) + "</td>";
  }
  const bool low = volts < kLowVolts;
  return std::string("<td class=\"num") + (low ? " warn\">" : "\">") + decimal_text(volts) + " V" +
         (low ? " <span class=\"marker\">▼ low</span>" : "") + "</td>";
}

std::string probe_row(const ProbeSummary& p, bool last_run_known) {
  const std::vector<std::string> warnings = p.warnings(last_run_known);
  std::string row =
      "<tr data-probe=\"" + std::to_string(p.probe()) + "\" data-readings=\"" +
      std::to_string(p.readings()) + "\"" + (warnings.empty() ? "" : " class=\"has-warnings\"") +
      " tabindex=\"0\"><td class=\"num\">" + std::to_string(p.probe()) + "</td><td>" +
      time_text(p.first()) + "</td><td>" + time_text(p.last()) + "</td><td class=\"num\">" +
      std::to_string(p.readings()) + "</td>" + battery_cell(p.latest_volts()) + "<td>";
  for (const std::string& w : warnings) row += "<div class=\"warning\">" + escaped(w) + "</div>";
  return row + "</td></tr>\n";
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
  out(fact("Readings", readings_fact(data)));
  out(fact("Ambient temperature", ambient_fact(data)));
  out(fact("Page written", date_time_text(facts.written)));
  out("</dl>\n</header>\n<main>\n");
  if (data.probes.empty()) {
    out(no_readings_text(data));
    out("</main>\n</body>\n</html>\n");
    return;
  }
  out("<section id=\"probes\"><table>\n<thead><tr><th>Probe</th><th>First reading</th>"
      "<th>Last reading</th><th>Readings</th><th>Battery (latest)</th><th>Warnings</th></tr>"
      "</thead>\n<tbody>\n");
  for (const auto& [id, probe] : data.probes) out(probe_row(probe, data.last_run.has_value()));
  out("</tbody></table></section>\n");
  out(kChartsSection);
  out("</main>\n<script type=\"application/json\" id=\"chart-data\">");
  const std::size_t buckets = buckets_per_line(data, kPagePoints);
  write_chart_data(data, buckets, out);
  out("</script>\n<script>\n");
  out(kDygraphScript);
  out("\n</script>\n<script>\nconst BUCKETS_PER_LINE = " + std::to_string(buckets) + ";\n");
  out(kPageScript);
  out("</script>\n</body>\n</html>\n");
}

}  // namespace tavric::report
