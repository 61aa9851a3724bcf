#include <gtest/gtest.h>
#include <fstream>

#include "posix/locations.h"

namespace tavric {
namespace {

TEST(Locations, PortLinksAndFolders) {
  const auto dir = std::filesystem::temp_directory_path() / "tavric-locations-test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "by-id");
  std::filesystem::create_symlink("/dev/pts/7", dir / "com3");
  std::filesystem::create_symlink("ttyUSB0", dir / "com4");
  // A chain of links ends at the real device, so two names of one device are one port.
  std::filesystem::create_symlink("../ttyUSB0", dir / "by-id" / "usb-adapter");
  std::filesystem::create_symlink(dir / "by-id" / "usb-adapter", dir / "com5");
  std::ofstream(dir / "ttyUSB0").put('x');
  EXPECT_EQ(port_device_path(3, dir), "/dev/pts/7");
  EXPECT_EQ(port_device_path(4, dir), (dir / "ttyUSB0").string());
  EXPECT_EQ(port_device_path(5, dir), (dir / "ttyUSB0").string());
  EXPECT_EQ(port_device_path(12, dir), "/dev/ttyS11");

  const Environment env{
      {"HOME", "/home/u"}, {"XDG_CONFIG_HOME", "/cfg"}, {"XDG_STATE_HOME", "rel"}};
  EXPECT_EQ(settings_dir(env), "/cfg/RNQ7");
  EXPECT_EQ(trace_dir(env), "/home/u/.local/state/RNQ7/traces");
  EXPECT_EQ(output_dir(dir, env), dir);
  EXPECT_EQ(output_dir("/nonexistent/bin", env), "/home/u/.local/share/RNQ7");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tavric
