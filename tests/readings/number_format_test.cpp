#include <gtest/gtest.h>

#include "readings/number_format.h"

namespace tavric {
namespace {

TEST(NumberFormat, PicturePatternsRoundHalvesAwayFromZeroOnTheSingleValue) {
  const struct {
    float value;
    const char* pattern;
    const char* text;
  } cases[] = {
      {18.25F, "00.0", "18.3"},
      {0.125F, "###0.00", "0.13"},
      {-1.25F, "00.0", "-01.3"},
      {0.0F, "###0.00", "0.00"},
      {0.0F, "000.00", "000.00"},
      {12.34F, "000.00", "012.34"},
      {999.0F, "###0.0", "999.0"},
      {-37.9375F, "###0.00", "-37.94"},
      {-0.0625F, "00.0", "-00.1"},
      {99.96F, "00.0", "100.0"},
      {1234.5F, "#####0", "1235"},
      {0.15F, "0.0", "0.2"},
      // Single values just below a tie: a float product or a re-rounded double would
      // round these up.
      {0.35F, "0.0", "0.3"},
      {2.675F, "###0.00", "2.67"},
      {-1.005F, "###0.00", "-1.00"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatNumber(c.value, c.pattern), c.text) << c.value;
  EXPECT_EQ(FormatNumber(std::int64_t{0}, "#") + "|" + FormatNumber(std::int64_t{0}, "#####0"),
            "|0");
  EXPECT_EQ(FormatNumber(std::int64_t{1234}, "#00000"), "01234");
  EXPECT_EQ(FormatNumber(std::int64_t{123456}, "00000"), "123456");
  EXPECT_EQ(NumberItem(17) + NumberItem(-3), " 17 -3 ");
}

}  // namespace
}  // namespace tavric
