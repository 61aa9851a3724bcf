#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>

#include "platform/calendar.h"
#include "report/field_scan.h"

namespace tavric::report {

// What the page says besides the readings.
struct PageFacts {
  std::filesystem::path folder;
  LocalDateTime written{};
  std::optional<LocalDateTime> run_ended;  // the run the page follows, when it follows one
};

// The points of all probes' lines together stay below this, which keeps the page of
// years of readings to a few megabytes.
inline constexpr std::size_t kPagePoints = 600'000;

// Writes the page, one self-contained HTML file with the chart library inlined, in
// pieces to `out`.
void write_page(const FieldData& data, const PageFacts& facts,
                const std::function<void(std::string_view)>& out);

}  // namespace tavric::report
