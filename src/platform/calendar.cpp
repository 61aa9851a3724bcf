#include "platform/calendar.h"

#include <cstdio>

namespace tavric {
namespace {

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

constexpr std::int64_t kSecondsPerDay = 86400;

std::int64_t days_2000() {
  static const std::int64_t d = days_from_civil(2000, 1, 1);
  return d;
}

}  // namespace

std::int64_t days_from_civil(std::int64_t year, std::int64_t month, std::int64_t day) {
  // Carry the month into the year first, then count days with the
  // era-based algorithm for the proleptic Gregorian calendar; the day is added
  // as an offset so that day 0 or day 40 carries over naturally.
  year += floor_div(month - 1, 12);
  month = month - 1 - floor_div(month - 1, 12) * 12 + 1;
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = floor_div(year, 400);
  const std::int64_t yoe = year - era * 400;
  const std::int64_t mp = (month + 9) % 12;
  const std::int64_t doy = (153 * mp + 2) / 5;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + (day - 1);
}

std::int64_t seconds_since_2000(const LocalDateTime& t) {
  const std::int64_t days = days_from_civil(t.year, t.month, t.day) - days_2000();
  return days * kSecondsPerDay + t.hour * 3600 + t.minute * 60 + t.second;
}

LocalDateTime from_seconds_since_2000(std::int64_t seconds) {
  const std::int64_t day_index = floor_div(seconds, kSecondsPerDay);
  std::int64_t rem = seconds - day_index * kSecondsPerDay;
  std::int64_t z = day_index + days_2000() + 719468;
  const std::int64_t era = floor_div(z, 146097);
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
  LocalDateTime t;
  t.year = static_cast<int>(y);
  t.month = static_cast<int>(m);
  t.day = static_cast<int>(d);
  t.hour = static_cast<int>(rem / 3600);
  rem %= 3600;
  t.minute = static_cast<int>(rem / 60);
  t.second = static_cast<int>(rem % 60);
  return t;
}

LocalDateTime normalized_date(int year, int month, int day) {
  const std::int64_t days = days_from_civil(year, month, day) - days_2000();
  return from_seconds_since_2000(days * kSecondsPerDay);
}

std::int64_t v5_clock_steps(const LocalDateTime& t) {
  const std::int64_t s = seconds_since_2000(t);
  std::int64_t q = floor_div(s, 15);
  const std::int64_t r = s - q * 15;  // 0..14; never exactly a half with whole seconds
  if (2 * r > 15 || (2 * r == 15 && (q % 2 != 0))) ++q;
  return q;
}

std::string format_date(const LocalDateTime& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", t.year, t.month, t.day);
  return buf;
}

std::string format_time(const LocalDateTime& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  return buf;
}

LocalDateTime zero_date_time() {
  return LocalDateTime{1899, 12, 30, 0, 0, 0};
}

}  // namespace tavric
