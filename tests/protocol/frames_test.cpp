#include <gtest/gtest.h>

#include "protocol/frames.h"
#include "protocol/status.h"
#include "tests/protocol/bench.h"

namespace tavric::testing {
namespace {

TEST(LegacyFrame, RequestBytesAndReplySoundness) {
  // Halves round to even, a negative value or one past the 16-bit element sends 0, and
  // a value above 255 goes out as its low byte but counts whole in the sum.
  EXPECT_EQ((LegacyRequest{2.5, -1, 3.5, 300, 40000}.frame()),
            (Bytes{0x5E, 0xFF, 0xFF, 0xFF, 0x0E, 0, 2, 0, 4, 0x2C, 0, 0x04, 0x3D, 0x5F, 0, 0, 0}));

  const Bytes good = legacy_frame({9, 0, 12, 2, 29});
  Bytes bad_sum = good, bad_end = good;
  bad_sum[12] ^= 1;
  bad_end.back() = 0x5E;
  for (const auto& [what, reply, sound] : {std::tuple{"good", good, true},
                                           {"wrong sum", bad_sum, false},
                                           {"status 0", legacy_frame({9, 0, 12, 2, 29}, 0), false},
                                           {"wrong end byte", bad_end, false},
                                           {"13 bytes", legacy_frame({9, 0, 12, 2}), false},
                                           {"142 bytes", legacy_frame(Bytes(133, 9)), true},
                                           {"143 bytes", legacy_frame(Bytes(134, 9)), false}}) {
    EXPECT_EQ(LegacyReplySound(reply), sound) << what;
  }
}

TEST(V5Frame, RequestCheckAndTheRepliesThatAnswerIt) {
  V5Request status;
  status.v5Add(16);
  status.v5Add(0x100);  // its low byte
  const Bytes to_any = status.frame();
  EXPECT_EQ(to_any, (Bytes{0x5E, 0xFF, 0xFF, 0x03, 0x00, 0x10, 0x00, 0x0D, 0x84}));

  // The check of a reply is the collector's; here only who answers and to what.
  const Bytes to_1234{0x5E, 0x12, 0x34, 0x03, 0x00, 0x10, 0x00, 0, 0};
  const Bytes from_1234{0x5E, 0x12, 0x34, 0x03, 0x01, 0x10, 0x01, 0, 0};
  for (const auto& [what, request, reply, answers] :
       {std::tuple{"any server", to_any, v5_frame(16, {1}), true},
        {"status 0", to_any, v5_frame(16, {1}, 0), false},
        {"another command", to_any, v5_frame(9, {1}), false},
        {"the server asked", to_1234, from_1234, true},
        {"another server", to_1234, v5_frame(16, {1}), false},
        {"too short", to_any, Bytes{0x5E, 0xFF, 0xFF, 0x01, 0x01}, false}}) {
    EXPECT_EQ(V5ReplyAnswers(request, reply), answers) << what;
  }
}

TEST(V5Frame, StatusDecoding) {
  // Four bytes, the clock in 15-second steps (2000-01-02; the top bit marks it unset),
  // then write pointer, read pointer, store size and new readings.
  Bytes data{0, 0, 0, 0, 0, 0, 0x16, 0x80, 0x01, 0x2C, 0, 200, 0x03, 0xE8, 0, 100};
  const LocalDateTime pc_now{2000, 1, 3, 12, 0, 0};
  const auto set = DecodeV5Status(v5_frame(16, data), pc_now, 0.25F);
  ASSERT_TRUE(set.has_value());
  EXPECT_EQ(
      (std::vector<int>{set->WritePointer, set->ReadPointer, set->BufferSize, set->NewReadings}),
      (std::vector<int>{300, 200, 1000, 100}));
  EXPECT_EQ(set->LoggerDate, (LocalDateTime{2000, 1, 2}));
  EXPECT_FLOAT_EQ(set->LoggerClockOffset, 1.5F);

  data[4] = 0x80;  // unset: the offset known so far stays
  const auto unset = DecodeV5Status(v5_frame(16, data), pc_now, 0.25F);
  ASSERT_TRUE(unset.has_value());
  EXPECT_EQ(unset->LoggerDate, (LocalDateTime{2000, 1, 1}));
  EXPECT_FLOAT_EQ(unset->LoggerClockOffset, 0.25F);

  data.pop_back();  // the new readings would be the check bytes
  EXPECT_FALSE(DecodeV5Status(v5_frame(16, data), pc_now, 0).has_value());
}

// Out-of-range date and time fields carry over into the next day, month or year.
TEST(LegacyStatus, DateTimeFieldsCarryOverAndCount) {
  const LocalDateTime pc_now{2012, 3, 1, 12, 0, 0};
  for (const auto& [ymd, hms, logger, days_behind] :
       {std::tuple{Bytes{12, 2, 30}, Bytes{0, 0, 0}, LocalDateTime{2012, 3, 1}, 0.5F},
        {Bytes{11, 13, 1}, Bytes{36, 0, 0}, LocalDateTime{2012, 1, 2, 12, 0, 0}, 59.0F},
        {Bytes{12, 2, 29}, Bytes{10, 119, 60}, LocalDateTime{2012, 2, 29, 12, 0, 0}, 1.0F}}) {
    const Bytes date = legacy_frame({9, 0, ymd[0], ymd[1], ymd[2]});
    const Bytes time = legacy_frame({11, 0, hms[0], hms[1], hms[2]});
    const ServerStatus s = DecodeLegacyStatus(date, time, legacy_frame({1, 1, 2, 0, 0}), pc_now);
    EXPECT_EQ(s.LoggerDate, logger);
    EXPECT_FLOAT_EQ(s.LoggerClockOffset, days_behind);
    EXPECT_EQ(s.NewReadings, 258);
  }
}

}  // namespace
}  // namespace tavric::testing
