#include <gtest/gtest.h>

#include "readings/number_format.h"

namespace tavric {
namespace {

struct FloatCase {
  float value;
  const char* pattern;
  const char* text;
};

TEST(NumberFormat, PicturePatternsRoundHalvesAwayFromZeroOnTheSingleValue) {
  const FloatCase cases[] = {
      {18.25F, "00.0", "18.3"},
      {0.125F, "###0.00", "0.13"},
      {-1.25F, "00.0", "-01.3"},
      {0.0F, "###0.00", "0.00"},
      {0.0F, "00.0", "00.0"},
      {0.0F, "000.00", "000.00"},
      {0.0F, "0.0", "0.0"},
      {12.34F, "000.00", "012.34"},
      {3.6F, "###0.0", "3.6"},
      {999.0F, "0.0", "999.0"},
      {12.0F, "##0.0", "12.0"},
      {-37.9375F, "###0.00", "-37.94"},
      {-0.0625F, "00.0", "-00.1"},
      {99.96F, "00.0", "100.0"},
      {327.67F, "000.00", "327.67"},
      {0.25F, "0.0", "0.3"},
      // Just below a tie as single values: a re-rounded double or a float product
      // would wrongly round these up.
      {0.35F, "0.0", "0.3"},
      {2.675F, "###0.00", "2.67"},
      {1.005F, "###0.00", "1.00"},
      {-2.675F, "###0.00", "-2.67"},
      // The float nearest 0.15 lies above it.
      {0.15F, "0.0", "0.2"},
      {1234.5F, "#####0", "1235"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatNumber(c.value, c.pattern), c.text) << c.value << " with " << c.pattern;
  }
}

TEST(NumberFormat, IntegerPatternsAndNumberItems) {
  EXPECT_EQ(FormatNumber(std::int64_t{0}, "#"), "");
  EXPECT_EQ(FormatNumber(std::int64_t{1}, "#"), "1");
  EXPECT_EQ(FormatNumber(std::int64_t{0}, "#####"), "");
  EXPECT_EQ(FormatNumber(std::int64_t{65535}, "#####"), "65535");
  EXPECT_EQ(FormatNumber(std::int64_t{0}, "#####0"), "0");
  EXPECT_EQ(FormatNumber(std::int64_t{1234}, "#00000"), "01234");
  EXPECT_EQ(FormatNumber(std::int64_t{65535}, "00000"), "65535");
  EXPECT_EQ(FormatNumber(std::int64_t{123456}, "00000"), "123456");
  EXPECT_EQ(FormatNumber(std::int64_t{-5}, "#####0"), "-5");
  EXPECT_EQ(FormatNumber(std::int64_t{7}, "###0.00"), "7.00");
  EXPECT_EQ(NumberItem(17), " 17 ");
  EXPECT_EQ(NumberItem(0), " 0 ");
  EXPECT_EQ(NumberItem(-3), "-3 ");
}

}  // namespace
}  // namespace tavric
