#pragma once

#include <string_view>

namespace tavric::report {

// The chart library and the page's own style and script, built into the program from
// their files (see cmake/report-assets.cmake).
extern const std::string_view kDygraphScript;
extern const std::string_view kDygraphStyle;
extern const std::string_view kPageScript;
extern const std::string_view kPageStyle;

}  // namespace tavric::report
