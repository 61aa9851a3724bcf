#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "posix/port_check.h"

namespace tavric {
namespace {

namespace fs = std::filesystem;

// A pseudo-terminal: a serial device as far as the port is concerned.
struct Pty {
  Pty() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ::grantpt(master);
    ::unlockpt(master);
    device = ::ptsname(master);
  }
  ~Pty() { ::close(master); }
  int master;
  std::string device;
};

TEST(PortCheck, WhatStopsAPortFromOpening) {
  const fs::path dir =
      fs::temp_directory_path() / ("tavric-port-check-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::ofstream(dir / "a-file") << "no port\n";
  fs::create_symlink(dir / "gone", dir / "com3");

  EXPECT_EQ(diagnose_device((dir / "gone").string(), dir / "com3", "").trouble,
            PortTrouble::DanglingLink);
  EXPECT_EQ(diagnose_device("/dev/ttyUSB77", {}, "No such file or directory").trouble,
            PortTrouble::Missing);
  EXPECT_EQ(diagnose_device((dir / "a-file").string(), {}, "").trouble, PortTrouble::NotSerial);
  EXPECT_EQ(diagnose_device("/dev/null", {}, "Inappropriate ioctl for device").trouble,
            PortTrouble::NotSerial);
  // A terminal that opens all the same failed for a reason of the system's own.
  Pty pty;
  const PortFailure other = diagnose_device(pty.device, {}, "Input/output error");
  EXPECT_EQ(other.trouble, PortTrouble::Other);
  EXPECT_EQ(other.detail, "Input/output error");
  fs::remove_all(dir);
}

// A device another program holds names that program.
TEST(PortCheck, InUseNamesTheProgramThatHasIt) {
  Pty pty;
  const int held = ::open(pty.device.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(held, 0);
  const pid_t child = ::fork();
  if (child == 0) {
    ::pause();
    ::_exit(0);
  }
  ::close(held);
  // The child's descriptor table is there once fork has returned in the parent.
  const PortFailure f = diagnose_device(pty.device, {}, "Port in use: open in another program");
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_EQ(f.trouble, PortTrouble::InUse);
  EXPECT_NE(f.holder.find("(process " + std::to_string(child) + ")"), std::string::npos)
      << f.holder;
}

// Checked by an unprivileged user: root may open any device.
TEST(PortCheck, PermissionNamesTheGroup) {
  Pty pty;
  ASSERT_EQ(::chmod(pty.device.c_str(), 0), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      ::_exit(2);
    }
    const PortFailure f = diagnose_device(pty.device, {}, "Permission denied");
    ::_exit(f.trouble == PortTrouble::NoPermission && !f.group.empty() ? 0 : 1);
  }
  int status = -1;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace tavric
