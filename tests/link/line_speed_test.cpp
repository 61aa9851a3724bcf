#include <gtest/gtest.h>

#include "link/line_speed.h"
#include "tests/protocol/scripted_server.h"

namespace tavric::testing {
namespace {

// A legacy server that answers the speed request at its current speed and then moves
// to the speed asked for, if `follows`.
struct SpeedServer {
  explicit SpeedServer(bool follows) {
    server.after_reply = [this, follows](const Bytes& request, sim::LineEnd& line, MonoTime end) {
      if (!follows || request[6] != 14) return;
      server.baud = request[7] == 1 ? 56000 : 9600;
      line.set_device_baud(server.baud, end);
    };
  }
  ScriptedServer server{false, [](const Bytes& request, int) {
                          return Reply{{0, legacy_frame({request[6], request[7], 0, 0, 0})}};
                        }};
};

// The speed requests the line carried: code and the speed they went out at.
std::vector<std::pair<int, int>> speed_requests(const Bench& b) {
  std::vector<std::pair<int, int>> out;
  for (const testhost::SentChunk& c : b.host.line.sent()) out.emplace_back(c.bytes[7], c.baud);
  return out;
}

TEST(SetBaudrate, LoSendsNothing) {
  SpeedServer far(true);
  Bench b(far.server);
  SetBaudrate(b.s, 1);
  EXPECT_TRUE(b.host.line.sent().empty());
  EXPECT_EQ(b.host.line.settings(), "9600,n,8,1");
  EXPECT_EQ(b.host.line.open_count(), 1);
}

TEST(SetBaudrate, HiMovesBothSidesAndBack) {
  SpeedServer far(true);
  Bench b(far.server);
  b.host.window.set_speed_hi(true);
  SetBaudrate(b.s, 1);
  EXPECT_FALSE(b.s.NoComms);
  EXPECT_EQ(b.host.line.settings(), "56000,n,8,1");
  EXPECT_TRUE(b.host.line.is_open());
  EXPECT_EQ(speed_requests(b), (std::vector<std::pair<int, int>>{{1, 9600}, {1, 56000}}));

  SetBaudrate(b.s, 0);
  EXPECT_FALSE(b.s.NoComms);
  EXPECT_EQ(b.host.line.settings(), "9600,n,8,1");
  EXPECT_EQ(speed_requests(b).back(), (std::pair{0, 56000}));
  EXPECT_EQ(b.host.line.client_baud(), 9600);
}

TEST(SetBaudrate, FallsBackTo9600WhenTheServerStaysBehind) {
  SpeedServer far(false);
  Bench b(far.server);
  b.host.window.set_speed_hi(true);
  SetBaudrate(b.s, 1);
  EXPECT_FALSE(b.s.NoComms);  // the request to return to 9600 bit/s was answered
  EXPECT_EQ(b.host.line.settings(), "9600,n,8,1");
  EXPECT_EQ(b.host.line.client_baud(), 9600);
  // The check at 56000 bit/s went out four times unanswered, then code 0 at 9600.
  EXPECT_EQ(speed_requests(b),
            (std::vector<std::pair<int, int>>{
                {1, 9600}, {1, 56000}, {1, 56000}, {1, 56000}, {1, 56000}, {0, 9600}}));
}

}  // namespace
}  // namespace tavric::testing
