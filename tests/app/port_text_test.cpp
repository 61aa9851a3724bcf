#include <gtest/gtest.h>

#include "app/port_text.h"
#include "session/exit_status.h"
#include "tests/app/launch_fixture.h"

namespace tavric {
namespace {

PortEntry entry(int number, std::string device, std::string description = "") {
  PortEntry p;
  p.number = number;
  p.device = std::move(device);
  p.description = std::move(description);
  return p;
}

const std::vector<PortEntry> kPresent = {entry(1, "/dev/ttyS0"),
                                         entry(101, "/dev/ttyUSB0", "FT232R USB UART")};

PortFailure failure(PortTrouble trouble, std::string device = "/dev/ttyUSB1") {
  PortFailure f;
  f.trouble = trouble;
  f.device = std::move(device);
  return f;
}

// Each reason names the device and says what to do; where the port asked for is not
// there, what is there follows.
TEST(PortText, FailuresSayWhatToDo) {
  EXPECT_EQ(port_failure_text(failure(PortTrouble::Missing), kPresent),
            "/dev/ttyUSB1 is not there: is the cable or adapter plugged in?\r"
            "Ports found: com1 /dev/ttyS0; com101 /dev/ttyUSB0 (FT232R USB UART).");
  EXPECT_EQ(port_failure_text(failure(PortTrouble::Missing), {}),
            "/dev/ttyUSB1 is not there: is the cable or adapter plugged in?\r"
            "No serial port was found on this computer.");

  PortFailure dangling = failure(PortTrouble::DanglingLink, "/dev/pts/9");
  dangling.link = "/home/u/.config/RNQ7/com3";
  EXPECT_EQ(port_failure_text(dangling, {}).substr(0, 75),
            "The port's link /home/u/.config/RNQ7/com3 leads nowhere (/dev/pts/9 is gone");

  PortFailure denied = failure(PortTrouble::NoPermission);
  denied.group = "dialout";
  EXPECT_EQ(port_failure_text(denied, kPresent),
            "Permission denied on /dev/ttyUSB1: only members of the group dialout may use it. "
            "Join it once (sudo usermod -aG dialout $USER), then log out and in again.");
  denied.needs_new_login = true;
  EXPECT_NE(port_failure_text(denied, kPresent).find("this login started before you joined it"),
            std::string::npos);

  PortFailure held = failure(PortTrouble::InUse);
  EXPECT_EQ(port_failure_text(held, {}),
            "Port in use: /dev/ttyUSB1 is open in another program. Close the program that "
            "holds it, or choose another port.");
  held.holder = "minicom (process 4242)";
  EXPECT_EQ(port_failure_text(held, {}).substr(0, 59),
            "Port in use: /dev/ttyUSB1 is open in minicom (process 4242)");

  EXPECT_EQ(port_failure_text(failure(PortTrouble::NotSerial, "/dev/null"), {}).substr(0, 32),
            "/dev/null is not a serial port.\r");
  PortFailure other = failure(PortTrouble::Other);
  other.detail = "Input/output error";
  EXPECT_EQ(port_failure_text(other, {}), "/dev/ttyUSB1: Input/output error");
}

TEST(PortText, ListingInColumnsAndNote) {
  std::vector<PortEntry> ports = kPresent;
  ports[1].stable_name = "/dev/serial/by-id/usb-FTDI-if00";
  PortEntry gone = entry(4, "/dev/pts/9");
  gone.link = "/cfg/com4";
  gone.dangling = true;
  ports.push_back(gone);
  ports.push_back(entry(0, "/dev/ttyAMA0"));
  EXPECT_EQ(
      port_list_text(ports),
      "Port  Device        Stable name                      What it is\n"
      "   1  /dev/ttyS0    -\n"
      " 101  /dev/ttyUSB0  /dev/serial/by-id/usb-FTDI-if00  FT232R USB UART\n"
      "   4  /dev/pts/9    -                                the link /cfg/com4 leads nowhere\n"
      "   -  /dev/ttyAMA0  -\n");
  EXPECT_EQ(ports_found_note(ports),
            "Ports found on this computer:\ncom1 /dev/ttyS0\ncom101 /dev/ttyUSB0 (FT232R USB "
            "UART)\n/dev/ttyAMA0");
  EXPECT_EQ(port_list_text({}), "No serial port was found on this computer.\n");
}

// The launch explains a port that would not open in the ERROR prompt, whose title and
// first line stay as they are; the trace holds the same text.
TEST(PortText, ErrorPromptOfALaunchExplainsTheFailure) {
  struct OnePortMissing : PortList {
    std::vector<PortEntry> ports() override { return kPresent; }
    PortFailure diagnose(int number, const std::string& error) override {
      PortFailure f = failure(PortTrouble::Missing, "/dev/ttyUSB" + std::to_string(number));
      f.detail = error;
      return f;
    }
  } ports;
  launchtest::OptionLaunch l;
  l.ports = &ports;
  l.options = {.port = 7, .unattended = true};
  l.host.line.fail_open(7, "No such file or directory");
  EXPECT_EQ(l.run(), kExitNoComms);
  EXPECT_TRUE(
      l.said("ERROR: Cannot open com7 | /dev/ttyUSB7 is not there: is the cable or "
             "adapter plugged in? | Ports found: com1 /dev/ttyS0; com101"));
  EXPECT_TRUE(l.trace.has("/dev/ttyUSB7 is not there"));
}

}  // namespace
}  // namespace tavric
