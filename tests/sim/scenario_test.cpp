#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "sim/pty_line.h"
#include "sim/scenario.h"
#include "sim/scenario_devices.h"
#include "sim/v5_server.h"
#include "tests/sim/sim_client.h"

namespace {

using tavric::sim::Scenario;

Scenario parse(std::vector<std::string> args, std::string& error) {
  return tavric::sim::parse_scenario(args, error);
}

TEST(ScenarioOptions, ReadsAScenario) {
  std::string error;
  // clang-format off
  const Scenario sc = parse({"--modem", "--pin=1234", "--cell", "busy", "--fault", "silent=2,3",
      "--fault", "ate0-ignored", "--readings", "12", "--buffer-size", "50", "--write-pointer", "7",
      "--clock", "2012-03-04 14:05:00", "--clock-invalid", "--port", "4", "--log", "x.json",
      "--exit-after-idle", "2.5", "--unpaced"}, error);
  // clang-format on
  ASSERT_EQ(error, "");
  EXPECT_TRUE(sc.modem);
  EXPECT_EQ(sc.modem_config.pin, "1234");
  EXPECT_EQ(sc.modem_config.dial, tavric::sim::CellModem::DialResult::Busy);
  EXPECT_EQ(sc.modem_config.ignored_ate0, 1);
  EXPECT_EQ(sc.faults.silent, (std::set<int>{2, 3}));
  EXPECT_EQ(sc.write_pointer, 7);
  EXPECT_EQ(sc.clock, (tavric::LocalDateTime{2012, 3, 4, 14, 5, 0}));
  EXPECT_FALSE(sc.clock_valid);
  EXPECT_EQ(sc.port, 4);
  EXPECT_DOUBLE_EQ(sc.exit_after_idle_s, 2.5);
  EXPECT_TRUE(sc.unpaced);
}

TEST(ScenarioOptions, RefusesBadOptionsWithOneLine) {
  const std::vector<std::vector<std::string>> bad = {
      {"--bogus"},
      {"--readings"},
      {"--readings", "x"},
      {"--pin", "1234"},
      {"--generation", "v4"},
      {"--fault", "sometimes"},
      {"--clock", "2012-02-30 00:00:00"},
      {"--modem", "--generation", "legacy"},
      {"--buffer-size", "10", "--read-pointer", "10"},
      {"--modem=yes"}};
  for (const auto& args : bad) {
    std::string error;
    parse(args, error);
    EXPECT_NE(error, "") << args[0];
    EXPECT_EQ(error.find('\n'), std::string::npos);
  }
}

TEST(ScenarioDevices, LogShowsRequestsAndStore) {
  std::string error;
  const Scenario sc = parse({"--readings", "3", "--records", "clean"}, error);
  tavric::sim::ScenarioDevices devices(sc, {2012, 3, 4, 14, 5, 0});
  tavric::testhost::TestHost host;
  simtest::open_line(host, devices.front());
  simtest::transact(host, simtest::v5_request(9, {}));
  const std::string log = devices.log_json(host.clock.monotonic(), host.clock.monotonic());
  EXPECT_NE(log.find("\"command\":9,\"args\":[]"), std::string::npos) << log;
  EXPECT_NE(log.find("\"write_pointer\":3,\"read_pointer\":3,\"new_readings\":0"),
            std::string::npos);
  EXPECT_NE(log.find("{\"slot\":2,\"record\":\"1"), std::string::npos);
}

// A simulated line on a real pseudo-terminal, served on its own thread.
struct PtyRig {
  explicit PtyRig(tavric::sim::V5Server::Config config = {}, bool unpaced = false)
      : server(config) {
    line.set_unpaced(unpaced);
    line.attach(server);
    fd = ::open(line.device_path().c_str(), O_RDWR | O_NOCTTY);
    serving = std::thread([this] { line.serve([this] { return stop.load(); }); });
  }
  ~PtyRig() { finish(); }
  void finish() {
    if (!serving.joinable()) return;
    stop = true;
    serving.join();
    ::close(fd);
  }
  // Reads until `want` bytes came or the line was quiet for `quiet_ms`; `pause` slows
  // each read while fewer than 40,000 bytes have come.
  simtest::Bytes read_up_to(std::size_t want, int quiet_ms, bool pause = false) {
    simtest::Bytes got;
    pollfd p{fd, POLLIN, 0};
    while (got.size() < want && ::poll(&p, 1, quiet_ms) > 0) {
      if (pause && got.size() < 40'000) ::usleep(2000);
      tavric::Byte buf[1000];
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n <= 0) break;
      got.insert(got.end(), buf, buf + n);
    }
    return got;
  }
  void send(const simtest::Bytes& b) {
    EXPECT_EQ(::write(fd, b.data(), b.size()), static_cast<ssize_t>(b.size()));
  }

  tavric::sim::V5Server server;
  tavric::sim::PtyLine line;
  int fd = -1;
  std::atomic<bool> stop{false};
  std::thread serving;
};

// A client on the terminal gets its reply paced at the line speed, and garbage once it
// sets another speed than the server's.
TEST(PtyLine, ServesARealTerminalAtTheClientsSpeed) {
  PtyRig rig;
  ASSERT_GE(rig.fd, 0);
  auto ask = [&rig](speed_t speed) {
    termios t{};
    tcgetattr(rig.fd, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    tcsetattr(rig.fd, TCSANOW, &t);
    const auto start = std::chrono::steady_clock::now();
    rig.send(simtest::v5_request(16, {0}));
    const simtest::Bytes got = rig.read_up_to(24, 1000);
    return std::make_pair(got, std::chrono::steady_clock::now() - start);
  };
  const auto [reply, took] = ask(B9600);
  EXPECT_TRUE(simtest::v5_reply_ok(reply));
  EXPECT_GE(took, tavric::sim::byte_time(9600) * 24);
  const auto [garbled, unused] = ask(B57600);
  EXPECT_TRUE(garbled.empty() || !simtest::v5_reply_ok(garbled));
  rig.finish();
  EXPECT_EQ(rig.server.requests().size(), 1u);  // the second request arrived garbled
}

// Unpaced, a bulk stream far larger than the terminal's buffer arrives whole and in
// order, in a fraction of its line time (150 s at 9600 bit/s), even while the client
// reads slowly at first.
TEST(PtyLine, UnpacedStreamWaitsForTheClientInsteadOfDropping) {
  constexpr int kFrames = 4000;
  constexpr std::size_t kAnswer = 10;
  tavric::sim::V5Server::Config config;
  config.buffer_size = kFrames + 1;
  config.write_pointer = kFrames;
  config.records.assign(kFrames, tavric::sim::erased_record());
  PtyRig rig(config, /*unpaced=*/true);
  ASSERT_GE(rig.fd, 0);
  const auto start = std::chrono::steady_clock::now();
  rig.send(simtest::v5_request(4, {0, 0, 0, 0, 0, 0, 0}));
  const simtest::Bytes got = rig.read_up_to(kAnswer + kFrames * 36, 2000, /*pause=*/true);
  const auto took = std::chrono::steady_clock::now() - start;
  rig.finish();

  ASSERT_EQ(got.size(), kAnswer + kFrames * 36);
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
