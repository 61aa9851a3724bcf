#include <gtest/gtest.h>

#include "link/line_speed.h"
#include "sim/legacy_server.h"
#include "tests/protocol/bench.h"

namespace tavric::testing {
namespace {

// The speed requests the server took in: speed code and the speed it listened at.
std::vector<std::pair<int, int>> speed_requests(const sim::LegacyServer& server) {
  std::vector<std::pair<int, int>> out;
  for (const auto& r : server.requests()) out.emplace_back(r.args.at(0), r.baud);
  return out;
}

// The server takes 0.55 s to answer a speed request: later than the 0.5 s a request
// without extra wait allows, within the 0.3 s more that the speed request waits.
TEST(SetBaudrate, LoSendsNothingAndHiMovesBothSidesAndBack) {
  sim::LegacyServer::Config slow;
  slow.turnaround = std::chrono::milliseconds(550);
  sim::LegacyServer server(slow);
  Bench b(&server);
  bool raised = false;
  EXPECT_EQ(SetBaudrate(b.line, raised, /*speed_hi=*/false, 1), std::nullopt);
  EXPECT_TRUE(b.host.line.sent().empty());
  EXPECT_EQ(b.host.line.settings(), "9600,n,8,1");

  EXPECT_EQ(SetBaudrate(b.line, raised, /*speed_hi=*/true, 1), true);
  EXPECT_TRUE(raised);
  EXPECT_EQ(b.host.line.settings(), "56000,n,8,1");
  EXPECT_EQ(speed_requests(server), (std::vector<std::pair<int, int>>{{1, 9600}, {1, 56000}}));
  // The way back follows what was done to the line, whatever the option shows by then.
  EXPECT_EQ(SetBaudrate(b.line, raised, /*speed_hi=*/false, 0), true);
  EXPECT_FALSE(raised);
  EXPECT_EQ(SetBaudrate(b.line, raised, /*speed_hi=*/false, 0), std::nullopt);
  EXPECT_EQ(b.host.line.settings(), "9600,n,8,1");
  EXPECT_EQ(server.baud(), 9600);
}

TEST(SetBaudrate, FallsBackTo9600WhenTheServerStaysBehind) {
  sim::LegacyServer server(with_fault<sim::LegacyServer::Config>("ignores-speed-change"));
  Bench b(&server);
  bool raised = false;
  EXPECT_EQ(SetBaudrate(b.line, raised, /*speed_hi=*/true, 1), true);  // code 0 was answered
  EXPECT_EQ(b.host.line.settings(), "9600,n,8,1");
  // The check at 56000 bit/s never reached it; then code 0 at 9600 bit/s.
  EXPECT_EQ(speed_requests(server), (std::vector<std::pair<int, int>>{{1, 9600}, {0, 9600}}));
}

}  // namespace
}  // namespace tavric::testing
