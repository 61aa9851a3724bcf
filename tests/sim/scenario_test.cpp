#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "sim/pty_line.h"
#include "sim/scenario.h"
#include "sim/v5_server.h"
#include "tests/sim/sim_client.h"

namespace {

TEST(ScenarioOptions, ReadsAScenarioAndRefusesABadOneWithOneLine) {
  std::string error;
  const tavric::sim::Scenario sc = tavric::sim::parse_scenario(
      {"--modem", "--pin=1234", "--cell", "busy", "--fault", "silent=2,3", "--clock",
       "2012-03-04 14:05:00", "--clock-invalid", "--exit-after-idle", "2.5", "--unpaced"},
      error);
  ASSERT_EQ(error, "");
  EXPECT_TRUE(sc.modem);
  EXPECT_EQ(sc.modem_config.pin, "1234");
  EXPECT_EQ(sc.modem_config.dial, tavric::sim::CellModem::DialResult::Busy);
  EXPECT_EQ(sc.faults.silent, (std::set<int>{2, 3}));
  EXPECT_EQ(sc.clock, (tavric::LocalDateTime{2012, 3, 4, 14, 5, 0}));
  EXPECT_FALSE(sc.clock_valid);
  EXPECT_DOUBLE_EQ(sc.exit_after_idle_s, 2.5);
  EXPECT_TRUE(sc.unpaced);

  tavric::sim::parse_scenario({"--modem", "--generation", "legacy"}, error);
  EXPECT_NE(error, "");
  EXPECT_EQ(error.find('\n'), std::string::npos);
}

// Unpaced, a bulk stream far larger than the terminal's buffer arrives whole and in
// order, in a fraction of its line time (150 s at 9600 bit/s), even while the client on
// the pseudo-terminal reads slowly at first.
TEST(PtyLine, UnpacedStreamWaitsForTheClientInsteadOfDropping) {
  constexpr int kFrames = 4000;
  constexpr std::size_t kAnswer = 10, kWant = kAnswer + kFrames * 36;
  tavric::sim::V5Server::Config config;
  config.buffer_size = kFrames + 1;
  config.write_pointer = kFrames;
  config.records.assign(kFrames, tavric::sim::erased_record());
  tavric::sim::V5Server server(config);
  tavric::sim::PtyLine line;
  line.set_unpaced(true);
  line.attach(server);
  const int fd = ::open(line.device_path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  std::atomic<bool> stop{false};
  std::thread serving([&] { line.serve([&] { return stop.load(); }); });

  const auto start = std::chrono::steady_clock::now();
  const simtest::Bytes request = simtest::v5_request(4, {0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(::write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
  simtest::Bytes got;
  pollfd p{fd, POLLIN, 0};
  while (got.size() < kWant && ::poll(&p, 1, 2000) > 0) {
    if (got.size() < 40'000) ::usleep(2000);  // a slow reader at first
    tavric::Byte buf[1000];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) break;
    got.insert(got.end(), buf, buf + n);
  }
  const auto took = std::chrono::steady_clock::now() - start;
  stop = true;
  serving.join();
  ::close(fd);

  ASSERT_EQ(got.size(), kWant);
  EXPECT_TRUE(simtest::v5_reply_ok(simtest::Bytes(got.begin(), got.begin() + kAnswer)));
  for (int n = 1; n <= kFrames; ++n) {
    const std::size_t at = kAnswer + static_cast<std::size_t>(n - 1) * 36;
    ASSERT_EQ(got[at], 0x4E) << n;
    ASSERT_EQ(got[at + 1] * 256 + got[at + 2], n);
    ASSERT_EQ(got[at + 35], 0x4F) << n;
  }
  EXPECT_LT(took, std::chrono::seconds(10));
}

}  // namespace
