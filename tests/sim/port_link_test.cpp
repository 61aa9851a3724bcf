#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "sim/port_link.h"
#include "sim/scenario.h"

namespace {

namespace fs = std::filesystem;
using tavric::sim::claim_port_link;
using tavric::sim::parse_scenario;
using tavric::sim::release_port_link;

// A v5 store of N slots holds at most N - 1 new readings; more would wrap over the
// first ones, and the server would quietly serve fewer than asked for.
TEST(SimulatorStore, RefusesMoreReadingsThanTheStoreHoldsWhateverTheOptionOrder) {
  const auto refusal = [](const std::vector<std::string>& args) {
    std::string error;
    parse_scenario(args, error);
    return error;
  };
  EXPECT_NE(refusal({"--readings", "1000"}).find("at most 999"), std::string::npos);
  EXPECT_EQ(refusal({"--readings", "1000", "--buffer-size", "1001"}), "");
  EXPECT_NE(refusal({"--buffer-size", "50", "--readings", "50"}).find("--buffer-size 51"),
            std::string::npos);
  // A legacy server's store is counted in blocks and has room for any count.
  EXPECT_EQ(refusal({"--generation", "legacy", "--readings", "5000"}), "");
}

class PortLink : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "port links are a Linux matter";
#endif
    dir_ = fs::temp_directory_path() /
           ("port-link-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    device_ = (dir_ / "pts-new").string();
    std::ofstream(device_).put('\n');
  }
  void TearDown() override {
    std::error_code e;
    fs::remove_all(dir_, e);
  }
  fs::path dir_;
  std::string device_;
};

TEST_F(PortLink, ReplacesADanglingLinkAndItsOwnButNeverOneToARealDevice) {
  const fs::path link = dir_ / "com3";
  fs::create_symlink(dir_ / "pts-of-a-killed-simulator", link);
  EXPECT_EQ(claim_port_link(link, device_), "");
  EXPECT_EQ(fs::read_symlink(link), device_);
  EXPECT_EQ(claim_port_link(link, device_), "");  // its own: claimed again

  const fs::path real = dir_ / "ttyUSB0";
  std::ofstream(real).put('\n');
  const fs::path user_link = dir_ / "com4";
  fs::create_symlink(real, user_link);
  const std::string refused = claim_port_link(user_link, device_);
  EXPECT_NE(refused.find(real.string()), std::string::npos) << refused;
  EXPECT_EQ(fs::read_symlink(user_link), real);

  const fs::path plain = dir_ / "com5";
  std::ofstream(plain).put('\n');
  EXPECT_NE(claim_port_link(plain, device_), "");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(plain)));
}

TEST_F(PortLink, ReleasesOnlyALinkThatStillLeadsToItsDevice) {
  const fs::path link = dir_ / "com3";
  ASSERT_EQ(claim_port_link(link, device_), "");
  fs::remove(link);
  fs::create_symlink(dir_ / "another-device", link);
  release_port_link(link, device_);
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
  fs::remove(link);
  ASSERT_EQ(claim_port_link(link, device_), "");
  release_port_link(link, device_);
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

}  // namespace
