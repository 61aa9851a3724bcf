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
  EXPECT_FALSE(std::filesystem::exists(l.host.output_dir / "Tavric Probe Data.csv"));
  // Neither the port nor the speed of the command line is saved.
  EXPECT_EQ(l.host.settings.get("Port", ""), "1");
  EXPECT_EQ(l.host.settings.get("Speed", ""), "0");
  EXPECT_TRUE(l.err_lines().empty());
}

// Each prompt a person would have answered, and what the unattended launch does.
TEST(Unattended, PromptsThatOnlyAPersonCouldAnswerEndTheRun) {
  {
    OptionLaunch l;  // nothing on the port
    l.options.unattended = true;
    EXPECT_EQ(l.run(), kExitNoComms);
    EXPECT_EQ(l.host.line.open_count(), 1);
    EXPECT_EQ(l.err_lines(), std::vector<std::string>{
                                 "No Comms: Cannot connect to server, no comms. | Make sure the "
                                 "server is plugged in and is switched on. Also make sure that "
                                 "the correct serial port number is specified. [answered \"\"]"});
  }
  {
    OptionLaunch l;  // no port known and none given
    l.host.settings.erase("Port");
    l.options.unattended = true;
    EXPECT_EQ(l.run(), kExitNoComms);
    EXPECT_EQ(l.host.line.open_count(), 0);
    ASSERT_EQ(l.err_lines().size(), 1U);
    EXPECT_EQ(l.err_lines()[0].rfind("Serial Port: Please enter", 0), 0U);
  }
  {
    OptionLaunch l;  // the port cannot be opened: asking again would never end
    l.host.line.fail_open(4, "No such file or directory");
    l.options = {.port = 4, .unattended = true};
    EXPECT_EQ(l.run(), kExitNoComms);
    ASSERT_EQ(l.err_lines().size(), 1U);
    EXPECT_EQ(l.err_lines()[0].rfind("ERROR: Cannot open com4 | No such file or directory | ", 0),
              0U);
  }
}

TEST(Unattended, NothingNewReloadsNothingAndStillClears) {
  OptionLaunch l;
  l.options.unattended = true;
  auto c = v5_with(10);
  c.read_pointer = c.write_pointer;
  sim::V5Server server(c);
  l.host.line.attach(1, server);
  EXPECT_EQ(l.run(), kExitCompleted);
  ASSERT_EQ(l.err_lines().size(), 1U);
  EXPECT_NE(l.err_lines()[0].find("No Readings: There are no new readings"), std::string::npos);
  EXPECT_NE(l.err_lines()[0].find("[answered \"0\"]"), std::string::npos);
  EXPECT_EQ(server.clear_count(), 1);
  EXPECT_FALSE(std::filesystem::exists(l.host.output_dir / "Tavric Dumps"));
}

TEST(Unattended, ModemCallWithPinAndNumberFromTheOptions) {
  OptionLaunch l;
  sim::CellModem::Config mc;
  mc.pin = "2468";
  mc.number = "0400111222";
  ModemSetup rig(l, mc);
  l.host.settings.set("Cell", "0399000000");
  l.options = {.cell = "0400111222", .pin = "2468", .unattended = true};
  EXPECT_EQ(l.run(), kExitCompleted);
  EXPECT_EQ(rig.modem.dialled(), std::vector<std::string>{"0400111222"});
  EXPECT_EQ(rig.server.clear_count(), 1);
  EXPECT_EQ(l.host.settings.get("Cell", ""), "0399000000");  // not saved
  const auto err = l.err_lines();
  ASSERT_EQ(err.size(), 2U);
  EXPECT_EQ(err[0], "Pin Code: Please enter your cell pin code: [answered \"****\"]");
  EXPECT_EQ(err[1], "Cell Number: Connect to cell number: [answered \"0400111222\"]");
}

TEST(Unattended, ModemDialogueFailuresEndWithStatus3) {
  {
    OptionLaunch l;  // no number given: nothing is dialled
    ModemSetup rig(l);
    l.host.settings.set("Cell", "0399000000");
    l.options.unattended = true;
    EXPECT_EQ(l.run(), kExitModemFailed);
    EXPECT_TRUE(rig.modem.dialled().empty());
  }
  {
    OptionLaunch l;  // the SIM needs a PIN and none is given: none is sent, the dial fails
    sim::CellModem::Config mc;
    mc.pin = "2468";
    ModemSetup rig(l, mc);
    l.options = {.cell = "0400111222", .unattended = true};
    EXPECT_EQ(l.run(), kExitModemFailed);
    EXPECT_FALSE(rig.modem.sim_unlocked());
    EXPECT_EQ(l.err_lines().back(), "ERROR: Cannot connect to 0400111222. | +CME ERROR: 11");
  }
  {
    OptionLaunch l;  // a wrong PIN is sent once only
    sim::CellModem::Config mc;
    mc.pin = "2468";
    ModemSetup rig(l, mc);
    l.options = {.cell = "0400111222", .pin = "1111", .unattended = true};
    EXPECT_EQ(l.run(), kExitModemFailed);
    const auto& commands = rig.modem.commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "AT+CPIN=\"1111\""), 1);
    EXPECT_EQ(l.err_lines().back(), "ERROR: Pin code not accepted!");
  }
}

TEST(Unattended, LostLinkAndFailedOutputKeepTheStore) {
  {
    OptionLaunch l;
    l.options.unattended = true;
    sim::LegacyServer::Config c;
    c.records = runtest::clean_records(4 * 10);
    c.faults.dies_after = 3 + 4;
    sim::LegacyServer server(c);
    l.host.line.attach(1, server);
    EXPECT_EQ(l.run(), kExitNoComms);
    EXPECT_EQ(server.clear_count(), 0);
    EXPECT_EQ(l.err_lines().back().rfind("NO COMMS: The data download could not be completed.", 0),
              0U);
    EXPECT_TRUE(l.trace.has("store kept: the link to the server was lost"));
  }
  {
    OptionLaunch l;
    l.options.unattended = true;
    l.host.files.fail("write", "Tavric Probe Data.csv", std::errc::no_space_on_device);
    sim::V5Server server(v5_with(8));
    l.host.line.attach(1, server);
    EXPECT_EQ(l.run(), kExitOutputFailed);
    EXPECT_EQ(server.new_readings(), 8);
    ASSERT_EQ(l.err_lines().size(), 1U);
    EXPECT_NE(l.err_lines()[0].find(" | The readings were left on the server."), std::string::npos);
    EXPECT_TRUE(l.trace.has("store kept: cannot write"));
  }
}

TEST(Unattended, ClosingTheWindowStillEndsWith130) {
  OptionLaunch l;
  l.options.unattended = true;
  sim::V5Server server(v5_with(30));
  l.host.line.attach(1, server);
  l.host.window.when([&] { return l.host.window.event_text() == "Loading reading 3/30"; },
                     [&] { l.host.window.close(); });
  EXPECT_EQ(l.run(), kExitClosed);
  EXPECT_EQ(server.clear_count(), 0);
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
