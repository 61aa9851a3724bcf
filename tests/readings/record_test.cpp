#include <gtest/gtest.h>

#include "readings/record_text.h"
#include "tests/readings/readings_test_support.h"

namespace tavric {
namespace {

using testing::Hex;
using testing::kKind0;
using testing::kKind1;
using testing::Sealed;

const VoltageTable kVolts = BuildVoltageTable();

RecordLines Fetched(const RecordBytes& b) {
  return LinesFor(DecodeRecord(b, RecordCheck(b) == 0, RecordRules::Fetch, kVolts));
}

RecordLines Streamed(const RecordBytes& b) {
  return LinesFor(DecodeRecord(b, RecordCheck(b) == 0, RecordRules::Stream, kVolts));
}

// The dump line's comma-separated fields.
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> out;
  std::string field;
  for (char c : line.substr(0, line.size() - 2)) {
    if (c == ',') {
      out.push_back(field);
      field.clear();
    } else {
      field += c;
    }
  }
  out.push_back(field);
  return out;
}

TEST(Record, WorkedExamplesGiveTheirLinesByteForByte) {
  EXPECT_EQ(RecordCheck(kKind1), 0);
  const RecordLines one = Fetched(kKind1);
  EXPECT_EQ(one.dump, testing::kKind1Dump);
  EXPECT_EQ(one.probe, testing::kKind1Probe);
  EXPECT_FALSE(one.low_battery);

  const RecordLines zero = Fetched(kKind0);
  EXPECT_EQ(zero.dump,
            "1234,  17 ,2012/03/04 14:05:09,23.50,12.34,18.00,30.00,18.00,30.00,18.00,30.00,"
            "18.00,30.00,18.00,30.00,21.50,3.6,,5\r\n");
  EXPECT_EQ(zero.probe,
            "01234, 2012/03/04 14:05:09, 23.5, 012.34, 18.0, 030.00, 18.0, 030.00, 18.0, 030.00, "
            "18.0, 030.00, 18.0, 030.00,3.6\r\n");
  EXPECT_EQ(VoltageTable(kVolts)[13], 997.0F);
}

TEST(Record, CheckFailuresAndKindsThatGiveMarkerLines) {
  const RecordBytes zeros{};
  EXPECT_EQ(RecordCheck(zeros), 0x9401);
  EXPECT_EQ(Fetched(zeros).dump, "!  0 ,CRC error\r\n");

  // Kind 0 with battery code 0 is decoded whatever its check; code 5 is not.
  RecordBytes k0 = kKind0;
  ASSERT_NE(RecordCheck(k0), 0);
  k0[0] = 0x05;
  EXPECT_EQ(Fetched(k0).dump, "!  1234 ,CRC error\r\n");
  EXPECT_TRUE(Fetched(k0).probe.empty());

  RecordBytes settings = Sealed(Hex("40 04 D2"));
  EXPECT_EQ(Fetched(settings).dump, "!  1234 ,Probe settings\r\n");
  settings[0] = 0x50;
  EXPECT_EQ(Fetched(settings).dump, "!  1234 ,CRC error\r\n");
  EXPECT_EQ(Fetched(Sealed(Hex("50 04 D2"))).dump, "!  1234 ,Repeater settings\r\n");

  EXPECT_EQ(Fetched(Sealed(Hex("30 04 D2"))).dump, "?  1234 ,Invalid data  3 \r\n");
  EXPECT_EQ(Fetched(Sealed(Hex("F0 04 D2"))).dump, "?  1234 ,Invalid data  15 \r\n");
}

TEST(Record, KindZeroWrapsAndBatteryByte) {
  RecordBytes b = kKind0;
  b[12] = 480 & 0xFF;  // 9-bit temperature 480: 48.0 stays
  b[13] = 0x80 | b[13];
  b[15] = 481 & 0xFF;  // 481: 48.1 - 50
  b[16] = 0x80 | b[16];
  b[9] = 0x80;  // ambient 0x8000: 128.0 stays
  b[10] = 0x00;
  b[11] = 0xA4;  // power fail and 3.6 V
  auto f = Fields(Fetched(b).dump);
  EXPECT_EQ(f[3], "48.00");
  EXPECT_EQ(f[5], "-1.90");
  EXPECT_EQ(f[15], "128.00");
  EXPECT_EQ(f[16], "3.6");
  EXPECT_EQ(f[17], "1");

  b[9] = 0xFF;  // 0xFF00: -1.0
  EXPECT_EQ(Fields(Fetched(b).dump)[15], "-1.00");

  b[11] = 34;  // 3.4 V is not low, 3.3 V is
  EXPECT_FALSE(Fetched(b).low_battery);
  b[11] = 33;
  EXPECT_TRUE(Fetched(b).low_battery);
  EXPECT_EQ(Fetched(b).Volts, 3.3F);

  b[5] = 0x80;  // a clock of 2^31 seconds cannot be composed
  EXPECT_EQ(DecodeRecord(b, false, RecordRules::Fetch, kVolts).verdict, RecordVerdict::BadClock);
  EXPECT_TRUE(Fetched(b).dump.empty());
}

TEST(Record, KindOneTemperatureBitsWrapAndByteNine) {
  RecordBytes b = kKind1;
  // Pair 1 with an 11-bit temperature of 1441 (90.0625 degrees): its top bit is bit 0
  // of byte 9, its low ten bits the top of bytes 10-11.
  b[9] = 0x01;
  b[10] = (1441 >> 2) & 0xFF;
  b[11] = static_cast<Byte>(((1441 & 3) << 6) | (b[11] & 0x3F));
  EXPECT_EQ(Fields(Fetched(Sealed(b)).dump)[3], "-37.94");
  b[10] = (1440 >> 2) & 0xFF;
  b[11] = static_cast<Byte>(((1440 & 3) << 6) | (b[11] & 0x3F));
  EXPECT_EQ(Fields(Fetched(Sealed(b)).dump)[3], "90.00");

  // Byte 9 = 0x10: pairs 5 and 6 both take bit 4 (64 degrees more); pairs 1-4 not.
  b = kKind1;
  b[9] = 0x10;
  const auto f = Fields(Fetched(Sealed(b)).dump);
  EXPECT_EQ(f[3], "23.50");
  EXPECT_EQ(f[9], "18.00");
  EXPECT_EQ(f[11], "82.00");
  EXPECT_EQ(f[13], "82.00");
  EXPECT_EQ(f[15], "21.50");  // bit 4 lies below the ambient's eleven bits

  // The last minute a 24-bit clock holds.
  b = kKind1;
  b[3] = b[4] = b[5] = 0xFF;
  EXPECT_EQ(Fields(Fetched(Sealed(b)).dump)[2], "2031/11/24 20:15:00");
}

TEST(Record, BatteryCodes) {
  struct Case {
    int code;
    bool low;
    const char* volts;
    const char* pwr;
  };
  for (const Case c :
       {Case{7, true, "3.1", ""}, Case{8, false, "3.4", ""}, Case{13, false, "997.0", ""},
        Case{14, false, "998.0", ""}, Case{15, false, "999.0", "1"}}) {
    RecordBytes b = kKind1;
    b[0] = static_cast<Byte>(0x10 | c.code);
    const RecordLines lines = Fetched(Sealed(b));
    EXPECT_EQ(lines.low_battery, c.low) << c.code;
    EXPECT_EQ(Fields(lines.dump)[16], c.volts);
    EXPECT_EQ(Fields(lines.dump)[17], c.pwr);
    EXPECT_EQ(lines.probe.substr(lines.probe.rfind(',') + 1), std::string(c.volts) + "\r\n");
  }
}

TEST(Record, KindTwoWritesADumpLineOfZeros) {
  RecordBytes b = kKind1;
  b[0] = 0x27;                                       // kind 2, 3.1 V
  for (std::size_t i = 8; i < 28; ++i) b[i] = 0x5A;  // not read
  b[28] = 0x81;
  const RecordLines lines = Fetched(Sealed(b));
  EXPECT_EQ(lines.dump,
            "1234,  17 ,2012/03/04 14:05:00,0.00,0.00,0.00,0.00,0.00,0.00,0.00,0.00,0.00,0.00,"
            "0.00,0.00,0.00,3.1,,33024\r\n");
  EXPECT_TRUE(lines.probe.empty());
  EXPECT_TRUE(lines.low_battery);
  // The stream keeps kind 2's full 16-bit values too.
  EXPECT_EQ(Streamed(Sealed(b)).dump, lines.dump);
}

TEST(Record, StreamWritesReadingsOnly) {
  EXPECT_EQ(Streamed(kKind1).dump, testing::kKind1Dump);
  // No markers, no probe 0, kind 0 only with byte 0 = 0 and its check good.
  EXPECT_TRUE(Streamed(Sealed(Hex("40 04 D2"))).dump.empty());
  EXPECT_TRUE(Streamed(Sealed(Hex("30 04 D2"))).dump.empty());
  EXPECT_TRUE(Streamed(Hex("00 00 00")).dump.empty());
  RecordBytes k0 = Sealed(kKind0);
  EXPECT_FALSE(Streamed(k0).dump.empty());
  k0[0] = 0x05;
  EXPECT_TRUE(Streamed(Sealed(k0)).dump.empty());
  EXPECT_TRUE(Streamed(kKind0).dump.empty());  // unsealed: its check fails
  RecordBytes none = kKind1;
  none[1] = none[2] = 0;
  EXPECT_TRUE(Streamed(Sealed(none)).dump.empty());

  // Kind 1: bit 7 of bytes 6 and 28 belongs to neither the record number nor TailWord.
  RecordBytes b = kKind1;
  b[6] = 0x80;
  b[28] = 0x81;
  const auto stream = Fields(Streamed(Sealed(b)).dump);
  EXPECT_EQ(stream[1], "  17 ");
  EXPECT_EQ(stream[18], "256");
  const auto fetch = Fields(Fetched(Sealed(b)).dump);
  EXPECT_EQ(fetch[1], "  32785 ");
  EXPECT_EQ(fetch[18], "33024");
}

}  // namespace
}  // namespace tavric
