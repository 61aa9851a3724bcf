#include "report/chart_data.h"

#include <algorithm>
#include <charconv>
#include <map>

namespace tavric::report {
namespace {

void append_number(std::string& out, std::int64_t value) {
  char text[24];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  out.append(text, end);
}

void append_line(const Downsampler& line, std::size_t buckets, std::string& out) {
  const std::vector<Point> points = line.points(buckets);
  out += "[[";
  std::int64_t previous = 0;
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (i > 0) out += ',';
    append_number(out, points[i].time - previous);
    previous = points[i].time;
  }
  out += "],[";
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (i > 0) out += ',';
    append_number(out, points[i].value);
  }
  out += "]]";
}

void append_marks(const ProbeHealth* health, std::string& out) {
  out += ",\"gaps\":[";
  if (health) {
    for (std::size_t i = 0; i < health->gaps.size(); ++i) {
      out += i ? ",[" : "[";
      append_number(out, health->gaps[i].from);
      out += ',';
      append_number(out, health->gaps[i].to);
      out += ']';
    }
  }
  out += "],\"marks\":[";
  if (health) {
    for (std::size_t i = 0; i < health->marks.size(); ++i) {
      const ChartMark& m = health->marks[i];
      out += i ? ",[" : "[";
      append_number(out, m.column);
      out += ',';
      append_number(out, static_cast<int>(m.kind));
      out += ',';
      append_number(out, m.from);
      out += ',';
      append_number(out, m.to);
      out += ']';
    }
  }
  out += ']';
}

}  // namespace

std::size_t buckets_per_line(const FieldData& data, std::size_t points) {
  const std::size_t lines = std::max<std::size_t>(1, data.probes.size() * (kDataLines + 1));
  // Two points a bucket at most; never so few that a line loses its shape.
  return std::clamp<std::size_t>(points / 2 / lines, 64, Downsampler::kDefaultBuckets);
}

void write_chart_data(const FieldData& data, const std::vector<ProbeHealth>& health,
                      std::size_t buckets, const std::function<void(std::string_view)>& out) {
  std::map<int, const ProbeHealth*> health_of;
  for (const ProbeHealth& h : health) health_of[h.probe] = &h;
  std::string piece = "{\"probes\":[";
  const auto send = [&] {
    out(piece);
    piece.clear();
  };
  bool first = true;
  for (const auto& [id, probe] : data.probes) {
    piece += first ? "" : ",";
    first = false;
    piece += "{\"id\":";
    append_number(piece, id);
    piece += ",\"lines\":[";
    for (int i = 0; i < kDataLines; ++i) {
      append_line(probe.line(i), buckets, piece);
      piece += ',';
      send();
    }
    append_line(probe.ambient(), buckets, piece);
    piece += ']';
    const auto h = health_of.find(id);
    append_marks(h == health_of.end() ? nullptr : h->second, piece);
    piece += '}';
    send();
  }
  piece += "]}";
  send();
}

}  // namespace tavric::report
