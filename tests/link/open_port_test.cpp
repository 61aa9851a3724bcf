#include <gtest/gtest.h>

#include "link/open_port.h"
#include "platform/run_control.h"
#include "tests/host/test_host.h"

namespace tavric {
namespace {

using testhost::TestHost;

// Opens the port as a launch does; gives the port number it ended with.
std::int16_t open_port(TestHost& host) {
  Feedback feedback(host.window);
  std::int16_t number = 0;
  OpenPort(host.line, feedback, host.dialogs, host.settings, number);
  return number;
}

constexpr const char* kAsk =
    "Please enter the serial port number the Tavric Probe Server is connected to.";

TEST(OpenPort, SavedPortOpensWithoutAPrompt) {
  TestHost host;
  host.settings.set("Port", "3");
  EXPECT_EQ(open_port(host), 3);
  EXPECT_EQ(host.line.opened_ports(), std::vector<int>{3});
  EXPECT_TRUE(host.dialogs.prompts().empty());
  EXPECT_EQ(host.window.event_history(),
            (std::vector<std::string>{"Opening serial port ...", "Opened com3 OK"}));
}

TEST(OpenPort, NoSavedPortAsksAndTakesTheLeadingNumber) {
  for (const auto& [answer, port] : {std::pair{"4", 4}, {"4abc", 4}, {"2.5", 2}, {"3.5", 4}}) {
    TestHost host;
    host.dialogs.answer(answer);
    EXPECT_EQ(open_port(host), port) << answer;
    ASSERT_EQ(host.dialogs.prompts().size(), 1U);
    EXPECT_EQ(host.dialogs.prompts()[0].title + "|" + host.dialogs.prompts()[0].text,
              std::string("Serial Port|") + kAsk);
    EXPECT_EQ(host.line.opened_ports(), std::vector<int>{port}) << answer;
    EXPECT_EQ(host.settings.get("Port", ""), std::to_string(port));
  }
}

TEST(OpenPort, GivingUpEndsTheProgramAndLeavesPortUnknown) {
  using Answer = std::optional<std::string>;
  for (const Answer& answer : {Answer("abc"), Answer(""), Answer("0"), Answer("99999"), Answer()}) {
    TestHost host;
    host.settings.set("Port", "junk");
    host.dialogs.answer(answer);
    EXPECT_THROW(open_port(host), ProgramEnd);
    EXPECT_EQ(host.line.open_count(), 0);
    EXPECT_EQ(host.settings.get("Port", "0"), "junk");  // not yet reset when the user gives up
  }
}

TEST(OpenPort, PortThatCannotOpenAsksAgainWithTheReason) {
  TestHost host;
  host.settings.set("Port", "7");
  host.line.fail_open(7, "No such file or directory");
  host.dialogs.answer("1");
  EXPECT_EQ(open_port(host), 1);
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
  EXPECT_THROW(open_port(again), ProgramEnd);
  ASSERT_EQ(again.dialogs.prompts().size(), 2U);
  EXPECT_EQ(again.dialogs.prompts()[1].text.substr(0, 28), "Cannot open com8\rDevice busy");
  EXPECT_EQ(again.settings.get("Port", ""), "0");
}

}  // namespace
}  // namespace tavric
