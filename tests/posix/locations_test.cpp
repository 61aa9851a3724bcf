#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "posix/locations.h"

namespace tavric {
namespace {

namespace fs = std::filesystem;

TEST(Locations, PortNumbersLinksAndNamedDevices) {
  const auto dir = fs::temp_directory_path() / ("tavric-locations-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "by-id");
  fs::create_symlink("/dev/pts/7", dir / "com3");
  fs::create_symlink("ttyUSB0", dir / "com4");
  // A chain of links ends at the real device, so two names of one device are one port.
  fs::create_symlink("../ttyUSB0", dir / "by-id" / "usb-adapter");
  fs::create_symlink(dir / "by-id" / "usb-adapter", dir / "com5");
  std::ofstream(dir / "ttyUSB0").put('x');
  EXPECT_EQ(port_device_path(3, dir), "/dev/pts/7");
  EXPECT_EQ(port_device_path(4, dir), (dir / "ttyUSB0").string());
  EXPECT_EQ(port_device_path(5, dir), (dir / "ttyUSB0").string());
  EXPECT_EQ(port_link(3, dir), dir / "com3");
  EXPECT_EQ(port_link(6, dir), fs::path());

  // Without a link a port's number comes from its device's name, both ways.
  for (const auto& [number, device] : {std::pair{12, "/dev/ttyS11"},
                                       {101, "/dev/ttyUSB0"},
                                       {142, "/dev/ttyUSB41"},
                                       {201, "/dev/ttyACM0"},
                                       {400, "/dev/ttyS399"}}) {
    EXPECT_EQ(port_device_path(number, dir), device);
    if (number <= 300) {
      EXPECT_EQ(system_port_number(device), number);
    }
  }
  for (const char* none : {"/dev/ttyAMA0", "/dev/ttyUSB", "/dev/ttyUSB100", "/dev/ttyS01",
                           "/dev/ttyUSB0x", "/tmp/ttyS1"}) {
    EXPECT_EQ(system_port_number(none), 0) << none;
  }
  // A device reached by a link takes the lowest link's number, whatever name it is
  // given by; one without a link or a number of its own has none.
  EXPECT_EQ(port_number_of((dir / "by-id" / "usb-adapter").string(), dir), 4);
  EXPECT_EQ(port_number_of("/dev/ttyACM2", dir), 203);
  EXPECT_EQ(port_number_of("/dev/pts/99", dir), 0);

  // A device named for the run wins over the link of its number.
  name_port_device(4, "/dev/pts/12");
  EXPECT_EQ(port_device_path(4, dir), "/dev/pts/12");
  EXPECT_EQ(port_device_path(5, dir), (dir / "ttyUSB0").string());
  fs::remove_all(dir);
}

TEST(Locations, FoldersAndWhereOutputGoes) {
  const Environment env{
      {"HOME", "/home/u"}, {"XDG_CONFIG_HOME", "/cfg"}, {"XDG_STATE_HOME", "rel"}};
  EXPECT_EQ(settings_dir(env), "/cfg/RNQ7");
  EXPECT_EQ(trace_dir(env), "/home/u/.local/state/RNQ7/traces");

  // A folder of the program's own: its output goes beside it.
  const fs::path own = fs::temp_directory_path() / ("tavric-own-" + std::to_string(::getpid()));
  fs::create_directories(own);
  EXPECT_EQ(output_dir(own, env), own);
  fs::remove_all(own);
  // An installed program writes to the user's data folder, even where it could write
  // beside itself (root in /usr/local/bin).
  for (const char* installed : {"/usr/bin", "/usr/local/bin", "/opt/tavric/bin", "/nonexistent"}) {
    EXPECT_EQ(output_dir(installed, env), "/home/u/.local/share/RNQ7") << installed;
  }
  EXPECT_TRUE(is_system_folder("/usr/local/bin/"));
  EXPECT_TRUE(is_system_folder("/opt"));
  EXPECT_FALSE(is_system_folder("/optional/build"));
  EXPECT_TRUE(is_system_folder("/home/u/.local/bin"));  // a prefix of its own
  EXPECT_FALSE(is_system_folder("/home/u/usr/build"));
  EXPECT_FALSE(is_system_folder("/"));
}

}  // namespace
}  // namespace tavric
