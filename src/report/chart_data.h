#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "report/field_scan.h"
#include "report/probe_health.h"

namespace tavric::report {

// The charts' points of every probe as JSON, for the page's script:
// {"probes":[{"id":1234,"lines":[[times,values],...],"gaps":[[from,to],...],
// "marks":[[column,kind,from,to],...]},...]}, one [times,values] for each line of
// kDataLines and then the ambient temperature; the gaps and marks of `health` (times in
// seconds since 2000-01-01 00:00:00, kinds as ChartMark::Kind). Times are seconds since
// 2000-01-01 00:00:00, the first one whole and each further one as the step from the
// one before; values are in hundredths. Each line keeps at most `buckets_per_line`
// buckets of its downsampling.
// The text goes to `out` a line of one chart at a time, so that no more than one line's
// points is ever held as text.
void write_chart_data(const FieldData& data, const std::vector<ProbeHealth>& health,
                      std::size_t buckets_per_line,
                      const std::function<void(std::string_view)>& out);

// The buckets each line may keep so that all lines together stay within `points`.
std::size_t buckets_per_line(const FieldData& data, std::size_t points);

}  // namespace tavric::report
