#include <gtest/gtest.h>

#include "readings/number_format.h"
#include "readings/record_text.h"
#include "tests/readings/readings_test_support.h"

namespace tavric {
namespace {

using namespace testing;  // NOLINT

RecordLines Lines(const RecordBytes& b, RecordRules rules = RecordRules::Fetch) {
  return LinesFor(DecodeRecord(b, RecordCheck(b) == 0, rules, BuildVoltageTable()));
}

// Dump-line field `i` (0 probe, 1 record number, 2 date, 3..14 pairs, 15 Temp, 16 Volts,
// 17 PwrFail, 18 TailWord).
std::string Field(const RecordBytes& b, int i, RecordRules rules = RecordRules::Fetch) {
  std::stringstream line(Lines(b, rules).dump);
  std::string f;
  for (int k = 0; k <= i; ++k) std::getline(line, f, ',');
  return f.substr(0, f.find('\r'));
}

TEST(NumberFormat, PicturePatternsRoundHalvesAwayFromZeroOnTheSingleValue) {
  const struct {
    float value;
    const char* pattern;
    const char* text;
  } cases[] = {
      {0.125F, "###0.00", "0.13"},
      {-1.25F, "00.0", "-01.3"},
      {-0.0625F, "00.0", "-00.1"},
      {0.0F, "###0.00", "0.00"},
      {0.0F, "000.00", "000.00"},
      {1234.5F, "#####0", "1235"},
      // Just below a tie: a float product or a re-rounded double would round these up.
      {0.35F, "0.0", "0.3"},
      {2.675F, "###0.00", "2.67"},
      // Exact halves past the places worked out in integers.
      {0.015625F, "0.00000", "0.01563"},
      {-0.015625F, "0.00000", "-0.01563"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatNumber(c.value, c.pattern), c.text) << c.value;
  EXPECT_EQ(FormatNumber(std::int64_t{0}, "#") + "|" + FormatNumber(std::int64_t{0}, "#####0"),
            "|0");
  EXPECT_EQ(FormatNumber(std::int64_t{1234}, "#00000"), "01234");
  EXPECT_EQ(NumberItem(17) + NumberItem(-3), " 17 -3 ");
}

TEST(Record, WorkedExamplesAndMarkerLines) {
  EXPECT_EQ(Lines(kKind1).dump, kKind1Dump);
  EXPECT_EQ(Lines(kKind1).probe,
            "01234, 2012/03/04 14:05:00, 23.5, 012.34, 18.0, 030.00, 18.0, 030.00, 18.0, 030.00, "
            "18.0, 030.00, 18.0, 030.00,3.6\r\n");
  EXPECT_EQ(Lines(kKind0).dump,
            "1234,  17 ,2012/03/04 14:05:09,23.50,12.34,18.00,30.00,18.00,30.00,18.00,30.00,"
            "18.00,30.00,18.00,30.00,21.50,3.6,,5\r\n");
  EXPECT_EQ(Lines(kKind0).probe.substr(0, 27), "01234, 2012/03/04 14:05:09,");

  EXPECT_EQ(Lines(RecordBytes{}).dump, "!  0 ,CRC error\r\n");
  RecordBytes battery5 = kKind0;  // only a whole byte 0 of 0 waives the check
  battery5[0] = 0x05;
  EXPECT_EQ(Lines(battery5).dump + Lines(battery5).probe, "!  1234 ,CRC error\r\n");
  EXPECT_EQ(Lines(Sealed(Hex("40 04 D2"))).dump, "!  1234 ,Probe settings\r\n");
  EXPECT_EQ(Lines(Sealed(Hex("50 04 D2"))).dump, "!  1234 ,Repeater settings\r\n");
  EXPECT_EQ(Lines(Sealed(Hex("F0 04 D2"))).dump, "?  1234 ,Invalid data  15 \r\n");
}

TEST(Record, TemperatureWrapsAndBatteryByte) {
  RecordBytes b = kKind0;
  b[12] = 480 & 0xFF, b[13] |= 0x80, b[15] = 481 & 0xFF, b[16] |= 0x80;  // 9-bit 480, 481
  b[9] = 0x80, b[10] = 0, b[11] = 0xA4;  // ambient 0x8000; power fail at 3.6 V
  EXPECT_EQ(Field(b, 3) + " " + Field(b, 4) + " " + Field(b, 5), "48.00 12.34 -1.90");
  EXPECT_EQ(Field(b, 15) + " " + Field(b, 16) + " " + Field(b, 17), "128.00 3.6 1");
  // The probe data line gives every temperature two whole digits.
  EXPECT_EQ(Lines(b).probe.substr(27, 30), " 48.0, 012.34, -01.9, 030.00, ");
  b[9] = 0xFF, b[11] = 34;
  EXPECT_EQ(Field(b, 15), "-1.00");
  EXPECT_FALSE(Lines(b).low_battery);
  b[11] = 33;
  EXPECT_TRUE(Lines(b).low_battery);

  // Pair 1 and the ambient at 11-bit 1441, then pair 1 at 1440: the top bits from byte 9
  // (bit 0 and bit 5). Pair 1's low temperature bit is bit 14 of its moisture word, which
  // keeps 14 bits only.
  b = kKind1;
  b[8] = 0xB4, b[9] = 0x21, b[10] = 1441 >> 2 & 0xFF, b[11] = 0x40 | (b[11] & 0x3F);
  EXPECT_EQ(Field(Sealed(b), 3) + " " + Field(Sealed(b), 4) + " " + Field(Sealed(b), 15),
            "-37.94 12.34 -37.94");
  b[11] &= 0x3F;
  EXPECT_EQ(Field(Sealed(b), 3), "90.00");
  b = kKind1;
  b[9] = 0x10, b[3] = b[4] = b[5] = 0xFF;  // pairs 5 and 6 both take bit 4; the last minute
  EXPECT_EQ(Field(Sealed(b), 9) + Field(Sealed(b), 11) + Field(Sealed(b), 13), "18.0082.0082.00");
  EXPECT_EQ(Field(Sealed(b), 15) + " " + Field(Sealed(b), 2), "21.50 2031/11/24 20:15:00");
}

TEST(Record, BatteryCodesAndKindTwo) {
  for (const auto& [code, low, volts, pwr] : {std::tuple{0, true, "2.2", ""},
                                              {7, true, "3.1", ""},
                                              {8, false, "3.4", ""},
                                              {13, false, "997.0", ""},
                                              {15, false, "999.0", "1"}}) {
    RecordBytes b = kKind1;
    b[0] = static_cast<Byte>(0x10 | code);
    const RecordLines lines = Lines(Sealed(b));
    EXPECT_EQ(lines.low_battery, low) << code;
    EXPECT_EQ(Field(Sealed(b), 16) + "/" + Field(Sealed(b), 17), std::string(volts) + "/" + pwr);
  }
  RecordBytes two = kKind1;
  two[0] = 0x27, two[28] = 0x81;
  const std::string zeros = ",0.00,0.00,0.00,0.00,0.00,0.00,0.00,0.00,0.00,0.00,0.00,0.00,0.00,";
  EXPECT_EQ(Lines(Sealed(two)).dump, "1234,  17 ,2012/03/04 14:05:00" + zeros + "3.1,,33024\r\n");
  EXPECT_EQ(Lines(Sealed(two)).probe, "");
  EXPECT_EQ(Lines(Sealed(two), RecordRules::Stream).dump, Lines(Sealed(two)).dump);
}

TEST(Record, StreamWritesReadingsOnly) {
  const auto stream = RecordRules::Stream;
  EXPECT_EQ(Lines(kKind1, stream).dump, kKind1Dump);
  RecordBytes k0b5 = Sealed(kKind0);
  k0b5[0] = 0x05;
  EXPECT_NE(Lines(Sealed(kKind0), stream).dump, "");
  for (const RecordBytes& dropped : {Sealed(Hex("40 04 D2")), Sealed(Hex("30 04 D2")),
                                     Sealed(Hex("10 00 00")), kKind0, Sealed(k0b5)}) {
    EXPECT_EQ(Lines(dropped, stream).dump, "");
  }
  RecordBytes b = kKind1;
  b[6] = 0x80, b[28] = 0x81;  // bit 7 belongs to neither value in the stream
  EXPECT_EQ(Field(Sealed(b), 1, stream) + Field(Sealed(b), 18, stream), "  17 256");
  EXPECT_EQ(Field(Sealed(b), 1) + Field(Sealed(b), 18), "  32785 33024");
}

}  // namespace
}  // namespace tavric
