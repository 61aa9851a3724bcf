#include <gtest/gtest.h>

#include "session/exit_status.h"
#include "tests/app/launch_fixture.h"

namespace tavric {
namespace {

using launchtest::ModemSetup;
using launchtest::OptionLaunch;
using launchtest::v5_with;

TEST(Unattended, CompleteRunUsesTheOptionsForThisLaunchOnly) {
  OptionLaunch l;
  l.host.settings.set("Speed", "0");
  const std::filesystem::path elsewhere = l.host.output_dir / "elsewhere";
  std::filesystem::create_directory(elsewhere);
  l.options = {.port = 3, .speed_hi = true, .output = elsewhere, .unattended = true};
  sim::V5Server server(v5_with(25));
  l.host.line.attach(3, server);

  EXPECT_EQ(l.run(), kExitCompleted);
  EXPECT_EQ(server.clear_count(), 1);
  EXPECT_TRUE(std::filesystem::exists(elsewhere / "Tavric Dumps/Dump00.csv"));
  // Neither the port nor the speed of the command line is saved.
  EXPECT_EQ(l.host.settings.get("Port", ""), "1");
  EXPECT_EQ(l.host.settings.get("Speed", ""), "0");
  EXPECT_TRUE(l.err_lines().empty());
}

// Each prompt is answered with an empty text and said on standard error; those asking
// for another port end the run rather than wait or loop.
TEST(Unattended, PromptsAreAnsweredAndNoPortEndsWithStatus1) {
  OptionLaunch silent;
  silent.options.unattended = true;
  EXPECT_EQ(silent.run(), kExitNoComms);
  ASSERT_EQ(silent.err_lines().size(), 1U);
  EXPECT_TRUE(silent.said("No Comms: Cannot connect to server, no comms. | Make sure"));
  EXPECT_NE(silent.err.str().find(" [answered \"\"]\n"), std::string::npos);

  OptionLaunch unknown;
  unknown.host.settings.erase("Port");
  unknown.options.unattended = true;
  EXPECT_EQ(unknown.run(), kExitNoComms);
  EXPECT_TRUE(unknown.said("Serial Port: Please enter the serial port number"));

  OptionLaunch nothing_new;  // the reload prompt is answered "0"; the store is still cleared
  nothing_new.options.unattended = true;
  auto c = v5_with(10);
  c.read_pointer = c.write_pointer;
  sim::V5Server server(c);
  nothing_new.host.line.attach(1, server);
  EXPECT_EQ(nothing_new.run(), kExitCompleted);
  EXPECT_NE(nothing_new.err.str().find("reload. [answered \"0\"]\n"), std::string::npos);
  EXPECT_EQ(server.clear_count(), 1);
}

TEST(Unattended, ModemDialogueFailuresEndWithStatus3) {
  OptionLaunch no_number;  // the saved number is not dialled
  ModemSetup rig(no_number);
  no_number.host.settings.set("Cell", "0399000000");
  no_number.options.unattended = true;
  EXPECT_EQ(no_number.run(), kExitModemFailed);
  EXPECT_TRUE(rig.modem.dialled().empty());

  OptionLaunch no_pin;  // none is sent, and the locked SIM refuses the dial
  ModemSetup locked(no_pin, "2468");
  no_pin.options = {.cell = "0400111222", .unattended = true};
  EXPECT_EQ(no_pin.run(), kExitModemFailed);
  EXPECT_FALSE(locked.modem.sim_unlocked());

  OptionLaunch wrong_pin;  // sent once only
  ModemSetup refusing(wrong_pin, "2468");
  wrong_pin.options = {.cell = "0400111222", .pin = "1111", .unattended = true};
  EXPECT_EQ(wrong_pin.run(), kExitModemFailed);
  const auto& commands = refusing.modem.commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "AT+CPIN=\"1111\""), 1);
}

TEST(OptionsWithAPerson, OptionsAnswerTheirPromptsAndThePersonTheRest) {
  OptionLaunch l;
  ModemSetup rig(l);
  l.options = {.port = 2, .cell = "0400111222"};
  l.host.dialogs.answer("1");  // "No Comms" on port 2: the person names port 1
  EXPECT_EQ(l.run(), kExitCompleted);
  EXPECT_EQ(rig.modem.dialled(), std::vector<std::string>{"0400111222"});
  EXPECT_FALSE(l.host.settings.has("Cell"));
  EXPECT_TRUE(l.err.str().empty());
}

}  // namespace
}  // namespace tavric
