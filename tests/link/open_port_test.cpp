#include <gtest/gtest.h>

#include "link/open_port.h"
#include "platform/run_control.h"
#include "tests/host/test_host.h"

namespace tavric {
namespace {

using testhost::TestHost;

constexpr const char* kAsk =
    "Please enter the serial port number the Tavric Probe Server is connected to.";

TEST(OpenPort, SavedPortOpensWithoutAPrompt) {
  TestHost host;
  host.settings.set("Port", "3");
  Session s(host.platform);
  OpenPort(s);
  EXPECT_TRUE(host.line.is_open());
  EXPECT_EQ(host.line.opened_ports(), std::vector<int>{3});
  EXPECT_TRUE(host.dialogs.prompts().empty());
  EXPECT_EQ(host.settings.get("Port", ""), "3");
  EXPECT_EQ(host.window.event_history(),
            (std::vector<std::string>{"Opening serial port ...", "Opened com3 OK"}));
  // Lamps: both red while opening, both off once open.
  std::vector<LedColour> leds;
  for (const auto& change : host.window.led_history()) leds.push_back(change.colour);
  EXPECT_EQ(leds, (std::vector<LedColour>{LedColour::Red, LedColour::Red, LedColour::Off,
                                          LedColour::Off}));

  // Called again while open: closed first, then opened on the saved port.
  host.settings.set("Port", "5");
  OpenPort(s);
  EXPECT_EQ(host.line.opened_ports(), (std::vector<int>{3, 5}));
}

TEST(OpenPort, NoSavedPortAsksAndTakesTheLeadingNumber) {
  struct Case {
    const char* answer;
    int port;
  };
  for (const Case c : {Case{"4", 4}, Case{"4abc", 4}, Case{"2.5", 2}, Case{"3.5", 4}}) {
    TestHost host;
    host.dialogs.answer(c.answer);
    Session s(host.platform);
    OpenPort(s);
    ASSERT_EQ(host.dialogs.prompts().size(), 1U);
    EXPECT_EQ(host.dialogs.prompts()[0].title, "Serial Port");
    EXPECT_EQ(host.dialogs.prompts()[0].text, kAsk);
    EXPECT_EQ(host.dialogs.prompts()[0].default_text, "");
    EXPECT_EQ(host.line.opened_ports(), std::vector<int>{c.port}) << c.answer;
    EXPECT_EQ(host.settings.get("Port", ""), std::to_string(c.port));
  }
}

TEST(OpenPort, GivingUpEndsTheProgramAndLeavesPortUnknown) {
  for (std::optional<std::string> answer :
       {std::optional<std::string>("abc"), std::optional<std::string>(""),
        std::optional<std::string>("0"), std::optional<std::string>("99999"),
        std::optional<std::string>()}) {
    TestHost host;
    host.settings.set("Port", "junk");
    host.dialogs.answer(answer);
    Session s(host.platform);
    EXPECT_THROW(OpenPort(s), ProgramEnd);
    EXPECT_EQ(host.line.open_count(), 0);
    EXPECT_EQ(host.settings.get("Port", "0"), "junk");  // not yet reset when the user gives up
  }
}

TEST(OpenPort, PortThatCannotOpenAsksAgainWithTheReason) {
  TestHost host;
  host.settings.set("Port", "7");
  host.line.fail_open(7, "No such file or directory");
  host.dialogs.answer("1");
  Session s(host.platform);
  OpenPort(s);
  ASSERT_EQ(host.dialogs.prompts().size(), 1U);
  EXPECT_EQ(host.dialogs.prompts()[0].title, "ERROR");
  EXPECT_EQ(host.dialogs.prompts()[0].text,
            std::string("Cannot open com7\rNo such file or directory\r") + kAsk);
  EXPECT_EQ(host.line.opened_ports(), std::vector<int>{1});
  EXPECT_EQ(host.settings.get("Port", ""), "1");

  // The saved value stays "0" while the user keeps failing, and 0 ends the program.
  TestHost again;
  again.settings.set("Port", "7");
  again.line.fail_open(7, "Permission denied");
  again.line.fail_open(8, "Device busy");
  again.dialogs.answer("8");
  again.dialogs.answer("0");
  Session s2(again.platform);
  EXPECT_THROW(OpenPort(s2), ProgramEnd);
  EXPECT_EQ(again.dialogs.prompts().size(), 2U);
  EXPECT_EQ(again.dialogs.prompts()[1].text.substr(0, 28), "Cannot open com8\rDevice busy");
  EXPECT_EQ(again.settings.get("Port", ""), "0");
}

}  // namespace
}  // namespace tavric
