#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "link/pin_memory.h"
#include "session/exit_status.h"
#include "tests/app/launch_fixture.h"

// A SIM locks itself after three wrong PINs, and then only its PUK, out in the field,
// opens it again: a PIN the SIM refused is never sent a second time.
namespace tavric {
namespace {

namespace fs = std::filesystem;
using launchtest::ModemSetup;
using launchtest::OptionLaunch;

int pins_sent(const sim::CellModem& modem) {
  return static_cast<int>(
      std::count_if(modem.commands().begin(), modem.commands().end(),
                    [](const std::string& c) { return c.rfind("AT+CPIN=", 0) == 0; }));
}

TEST(RefusedPin, TheKeyDependsOnTheSaltAndTheCellNumber) {
  const testhost::TestDigest digest;
  const std::string key = RefusedPinKey(digest, "s", "1357", "0400111222");
  EXPECT_EQ(key.size(), 64U);
  EXPECT_NE(key, RefusedPinKey(digest, "s", "1357", "0400111223"));
  EXPECT_NE(key, RefusedPinKey(digest, "t", "1357", "0400111222"));
  EXPECT_NE(key, RefusedPinKey(digest, "s", "1358", "0400111222"));
}

TEST(RefusedPin, ThreeScheduledRunsWithAWrongPinFileSendItOnceAndLockNothing) {
  sim::V5Server server(launchtest::v5_with(6));
  sim::CellModem modem(server, ModemSetup::modem_config("2468", "0400111222"));
  testhost::TestHost folders;  // one output folder for every run, as a scheduler's
  std::vector<int> statuses;
  for (int run = 0; run < 3; ++run) {
    OptionLaunch l;
    l.host.line.attach(1, modem);
    l.options = {
        .output = folders.output_dir, .cell = "0400111222", .pin = "1357", .unattended = true};
    statuses.push_back(l.run());
    if (run > 0) {
      EXPECT_TRUE(l.said("ERROR: Pin code not sent: the SIM refused it before"));
    }
  }
  EXPECT_EQ(statuses, (std::vector<int>{kExitModemFailed, kExitPinRefused, kExitPinRefused}));
  EXPECT_EQ(pins_sent(modem), 1);
  EXPECT_EQ(modem.pin_tries_left(), 2);
  const std::string record = folders.read_output(kRefusedPinsFile);
  EXPECT_NE(record, "");
  EXPECT_EQ(record.find("1357"), std::string::npos);

  // The PIN file changed: the new PIN is tried, and it unlocks the SIM.
  OptionLaunch fixed;
  fixed.host.line.attach(1, modem);
  fixed.options = {
      .output = folders.output_dir, .cell = "0400111222", .pin = "2468", .unattended = true};
  EXPECT_EQ(fixed.run(), kExitCompleted);
  EXPECT_EQ(pins_sent(modem), 2);
  EXPECT_TRUE(modem.sim_unlocked());
}

// A person is asked as always; the refused PIN is not sent, another one is.
TEST(RefusedPin, AWindowedRunSaysSoAndTakesAnotherPin) {
  runtest::Launch l;
  sim::V5Server server(launchtest::v5_with(6));
  sim::CellModem modem(server, ModemSetup::modem_config("2468", "0400111222"));
  l.host.line.attach(1, modem);
  l.host.settings.set("Cell", "0400111222");
  RememberRefusedPin(l.session.pins, "1357", "0400111222");
  l.host.dialogs.answer("1357");
  l.host.dialogs.answer("2468");
  l.host.dialogs.answer("0400111222");
  EXPECT_EQ(l.run(), kExitCompleted);
  EXPECT_EQ(pins_sent(modem), 1);
  ASSERT_FALSE(l.host.dialogs.messages().empty());
  EXPECT_EQ(l.host.dialogs.messages()[0].title, "ERROR");
  EXPECT_EQ(l.host.dialogs.messages()[0].text.rfind("Pin code not sent", 0), 0U);
}

// A SIM already asking for its PUK gets no PIN and the run says why.
TEST(RefusedPin, ALockedSimGetsNoPin) {
  sim::V5Server server(launchtest::v5_with(6));
  sim::CellModem modem(server, ModemSetup::modem_config("2468", "0400111222"));
  for (const char* pin : {"1111", "2222", "3333"}) {
    OptionLaunch l;
    l.host.line.attach(1, modem);
    l.options = {.cell = "0400111222", .pin = pin, .unattended = true};
    EXPECT_EQ(l.run(), kExitModemFailed);
  }
  ASSERT_TRUE(modem.sim_locked());
  OptionLaunch l;
  l.host.line.attach(1, modem);
  l.options = {.cell = "0400111222", .pin = "2468", .unattended = true};
  EXPECT_EQ(l.run(), kExitPinRefused);
  EXPECT_EQ(pins_sent(modem), 3);
  EXPECT_TRUE(l.said("ERROR: The SIM card is locked and asks for its PUK"));
}

}  // namespace
}  // namespace tavric
