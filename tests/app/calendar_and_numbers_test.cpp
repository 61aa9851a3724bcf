#include <gtest/gtest.h>

#include "platform/calendar.h"
#include "platform/number_rule.h"

namespace tavric {
namespace {

TEST(Calendar, CarriesOverMonthsAndDays) {
  EXPECT_EQ(normalized_date(2012, 13, 1), (LocalDateTime{2013, 1, 1}));
  EXPECT_EQ(normalized_date(2012, 3, 0), (LocalDateTime{2012, 2, 29}));
  EXPECT_EQ(normalized_date(2011, 2, 29), (LocalDateTime{2011, 3, 1}));
  EXPECT_EQ(normalized_date(2000, 0, 0), (LocalDateTime{1999, 11, 30}));
  EXPECT_EQ(normalized_date(2255, 255, 255).year, 2276);
}

TEST(Calendar, SecondsSince2000RoundTrip) {
  const LocalDateTime t{2012, 2, 29, 13, 30, 5};
  EXPECT_EQ(from_seconds_since_2000(seconds_since_2000(t)), t);
  EXPECT_EQ(seconds_since_2000(LocalDateTime{2000, 1, 2}), 86400);
  EXPECT_EQ(from_seconds_since_2000(-1), (LocalDateTime{1999, 12, 31, 23, 59, 59}));
  EXPECT_EQ(format_date(t) + " " + format_time(t), "2012/02/29 13:30:05");
  // The v5 clock's 15-second steps round to nearest, also before 2000 (the other
  // worked values are checked through the requests that carry them).
  EXPECT_EQ(v5_clock_steps(LocalDateTime{1999, 12, 31, 23, 59, 52}), -1);
}

TEST(PromptNumber, TakesTheLeadingNumberRoundedHalfToEven) {
  EXPECT_EQ(prompt_number16("4"), 4);
  EXPECT_EQ(prompt_number16("4abc"), 4);
  EXPECT_EQ(prompt_number16("abc"), 0);
  EXPECT_EQ(prompt_number16(""), 0);
  EXPECT_EQ(prompt_number16("2.5"), 2);
  EXPECT_EQ(prompt_number16("3.5"), 4);
  EXPECT_EQ(prompt_number16(" 7 "), 7);
  EXPECT_EQ(prompt_number16("-3"), -3);
  EXPECT_EQ(prompt_number16("1e2"), 100);
  EXPECT_EQ(prompt_number16("1e"), 1);
  EXPECT_EQ(prompt_number16(".5"), 0);
  EXPECT_EQ(prompt_number16("32767"), 32767);
  EXPECT_EQ(prompt_number16("32768"), 0);
  EXPECT_EQ(prompt_number16("-32768.4"), -32768);
  EXPECT_EQ(prompt_number16("1e400"), 0);
  EXPECT_EQ(prompt_count32("65536"), 65536);
  EXPECT_EQ(prompt_count32("99999999999"), 2147483647);  // as many as can be
  EXPECT_EQ(prompt_count32(std::string(400, '7')), 2147483647);
  EXPECT_EQ(prompt_count32("-1e12"), -2147483648);
}

}  // namespace
}  // namespace tavric
