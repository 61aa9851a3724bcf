#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tavric {

// A local calendar date and time without time zone, to the second.
struct LocalDateTime {
  int year = 2000;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;

  friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

// Days since 1970-01-01 of a proleptic Gregorian date; month and day may lie outside
// their ranges and carry over (month 13 is January of the next year, day 0 the last
// day of the previous month).
std::int64_t days_from_civil(std::int64_t year, std::int64_t month, std::int64_t day);

// Seconds between 2000-01-01 00:00:00 and `t`, in plain calendar arithmetic.
std::int64_t seconds_since_2000(const LocalDateTime& t);

// The calendar value `seconds` after 2000-01-01 00:00:00 (negative goes before it).
LocalDateTime from_seconds_since_2000(std::int64_t seconds);

// The date year/month/day at 00:00:00 with out-of-range months and days carried over.
LocalDateTime normalized_date(int year, int month, int day);

// The v5 clock value: 15-second steps since 2000-01-01 00:00:00, halves to even.
std::int64_t v5_clock_steps(const LocalDateTime& t);

// "yyyy/mm/dd" and "HH:MM:SS" with fixed separators.
std::string format_date(const LocalDateTime& t);
std::string format_time(const LocalDateTime& t);

// The zero date-time (the value a cleared date variable holds): 1899-12-30 00:00:00.
LocalDateTime zero_date_time();

}  // namespace tavric
