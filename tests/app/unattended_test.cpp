#include <gtest/gtest.h>

#include "app/exit_status.h"
#include "sim/legacy_server.h"
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
  const auto commands = server.commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), 4), 1);  // "Hi": one bulk transfer
  EXPECT_EQ(server.clear_count(), 1);
  EXPECT_TRUE(std::filesystem::exists(elsewhere / "Tavric Dumps/Dump00.csv"));
  EXPECT_TRUE(std::filesystem::exists(elsewhere / "Tavric Probe Data.csv"));
  // Neither the port nor the speed of the command line is saved.
  EXPECT_EQ(l.host.settings.get("Port", ""), "1");
  EXPECT_EQ(l.host.settings.get("Speed", ""), "0");
  EXPECT_TRUE(l.err_lines().empty());
}

// The prompts that ask for another port end the run rather than wait or loop.
TEST(Unattended, NoPortOrServerEndsWithStatus1) {
  OptionLaunch silent;
  silent.options.unattended = true;
  EXPECT_EQ(silent.run(), kExitNoComms);
  EXPECT_EQ(silent.err_lines(),
            std::vector<std::string>{"No Comms: Cannot connect to server, no comms. | Make sure "
                                     "the server is plugged in and is switched on. Also make sure "
                                     "that the correct serial port number is specified. [answered "
                                     "\"\"]"});
  OptionLaunch unknown;
  unknown.host.settings.erase("Port");
  unknown.options.unattended = true;
  EXPECT_EQ(unknown.run(), kExitNoComms);
  EXPECT_EQ(unknown.host.line.open_count(), 0);
  EXPECT_TRUE(unknown.said("Serial Port: Please enter the serial port number"));

  OptionLaunch broken;
  broken.host.line.fail_open(4, "No such file or directory");
  broken.options = {.port = 4, .unattended = true};
  EXPECT_EQ(broken.run(), kExitNoComms);
  EXPECT_TRUE(broken.said("ERROR: Cannot open com4 | No such file or directory | Please enter"));
}

TEST(Unattended, NothingNewReloadsNothingAndStillClears) {
  OptionLaunch l;
  l.options.unattended = true;
  auto c = v5_with(10);
  c.read_pointer = c.write_pointer;
  sim::V5Server server(c);
  l.host.line.attach(1, server);
  EXPECT_EQ(l.run(), kExitCompleted);
  EXPECT_TRUE(l.said("No Readings: There are no new readings on the server."));
  EXPECT_NE(l.err.str().find("reload. [answered \"0\"]\n"), std::string::npos);
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
  EXPECT_EQ(no_pin.err_lines().back(), "ERROR: Cannot connect to 0400111222. | +CME ERROR: 11");

  OptionLaunch wrong_pin;  // sent once only
  ModemSetup refusing(wrong_pin, "2468");
  wrong_pin.options = {.cell = "0400111222", .pin = "1111", .unattended = true};
  EXPECT_EQ(wrong_pin.run(), kExitModemFailed);
  const auto& commands = refusing.modem.commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "AT+CPIN=\"1111\""), 1);
  EXPECT_EQ(wrong_pin.err_lines().back(), "ERROR: Pin code not accepted!");
}

TEST(Unattended, LostLinkAndFailedOutputKeepTheStore) {
  OptionLaunch lost;
  lost.options.unattended = true;
  sim::LegacyServer::Config c;
  c.records = runtest::clean_records(4 * 10);
  c.faults.dies_after = 3 + 4;
  sim::LegacyServer legacy(c);
  lost.host.line.attach(1, legacy);
  EXPECT_EQ(lost.run(), kExitNoComms);
  EXPECT_EQ(legacy.clear_count(), 0);
  EXPECT_TRUE(lost.said("NO COMMS: The data download could not be completed."));
  EXPECT_TRUE(lost.trace.has("store kept: the link to the server was lost"));

  OptionLaunch full;
  full.options.unattended = true;
  full.host.files.fail("write", "Tavric Probe Data.csv", std::errc::no_space_on_device);
  sim::V5Server v5(v5_with(8));
  full.host.line.attach(1, v5);
  EXPECT_EQ(full.run(), kExitOutputFailed);
  EXPECT_EQ(v5.new_readings(), 8);
  ASSERT_EQ(full.err_lines().size(), 1U);
  EXPECT_NE(full.err_lines()[0].find(" | The readings were left on the server."),
            std::string::npos);
  EXPECT_TRUE(full.trace.has("store kept: cannot write"));
}

TEST(OptionsWithAPerson, OptionsAnswerTheirPromptsAndThePersonTheRest) {
  OptionLaunch l;
  ModemSetup rig(l);
  l.options = {.port = 2, .cell = "0400111222"};
  l.host.dialogs.answer("1");  // "No Comms" on port 2: the person names port 1
  EXPECT_EQ(l.run(), kExitCompleted);
  ASSERT_EQ(l.host.dialogs.prompts().size(), 1U);
  EXPECT_EQ(l.host.dialogs.prompts()[0].title, "No Comms");
  EXPECT_EQ(rig.modem.dialled(), std::vector<std::string>{"0400111222"});
  EXPECT_EQ(l.host.settings.get("Port", ""), "1");  // the saved port is as before
  EXPECT_FALSE(l.host.settings.has("Cell"));
  EXPECT_TRUE(l.err.str().empty());
}

}  // namespace
}  // namespace tavric
