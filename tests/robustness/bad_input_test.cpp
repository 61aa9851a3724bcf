#include <gtest/gtest.h>

#include <fstream>

#include "app/exit_status.h"
#include "sim/legacy_server.h"
#include "sim/modem.h"
#include "sim/v5_server.h"
#include "tests/app/run_fixture.h"
#include "tests/robustness/rig.h"

namespace tavric::robustness {
namespace {

using runtest::Launch;

const std::string kHuge(100000, '7');
const std::string kBinary("\xff\xfe\x00\x01\r\n\x1b[2J", 10);

// A v5 server on port 1 with `readings` new readings in a store of 64 slots.
std::unique_ptr<sim::V5Server> v5_server(Launch& l, int readings = 5) {
  sim::V5Server::Config c;
  c.records = runtest::clean_records(readings);
  c.buffer_size = 64;
  c.write_pointer = readings;
  auto server = std::make_unique<sim::V5Server>(c);
  l.host.line.attach(1, *server);
  return server;
}

std::vector<std::string> prompt_titles(const Launch& l) {
  std::vector<std::string> titles;
  for (const auto& p : l.host.dialogs.prompts()) titles.push_back(p.title);
  return titles;
}

TEST(BadInput, SavedPortOfEveryShape) {
  struct Case {
    std::string saved;
    std::vector<std::string> prompts;  // answered "1", the server's port
  };
  const std::vector<Case> cases = {
      // No port known: the user is asked.
      {"", {"Serial Port"}},
      {"abc", {"Serial Port"}},
      {"-0", {"Serial Port"}},
      {"32768", {"Serial Port"}},  // does not fit 16 bits
      {"1e9", {"Serial Port"}},
      {kHuge, {"Serial Port"}},
      {kBinary, {"Serial Port"}},
      // A port without a server: the run asks for another.
      {"-3", {"No Comms"}},
      {"3.5", {"No Comms"}},
      {"-32768", {"No Comms"}},
      // Port 1 after all.
      {" 1", {}},
      {"1abc", {}},
      {"0.6", {}},
      {"+1e0", {}},
  };
  for (const Case& c : cases) {
    const std::string name = c.saved.substr(0, 12);
    Launch l;
    l.host.settings.set("Port", c.saved);
    auto server = v5_server(l);
    for (std::size_t i = 0; i < c.prompts.size(); ++i) l.host.dialogs.answer("1");
    EXPECT_EQ(l.run(), kExitCompleted) << name;
    EXPECT_EQ(prompt_titles(l), c.prompts) << name;
    EXPECT_EQ(l.host.settings.get("Port", ""), "1") << name;
    EXPECT_EQ(server->clear_count(), 1) << name;
  }
}

TEST(BadInput, SavedSpeedOfEveryShapeGivesAWholeRun) {
  for (const std::string& saved :
       {std::string(), std::string("1"), std::string("01"), std::string(" 1"), std::string("1.0"),
        std::string("2"), std::string("-1"), std::string("Hi"), kHuge, kBinary}) {
    Launch l;
    l.host.settings.set("Speed", saved);
    auto server = v5_server(l);
    EXPECT_EQ(l.run(), kExitCompleted) << saved.substr(0, 12);
    EXPECT_EQ(l.probe_lines().size(), 6U) << saved.substr(0, 12);
    // What is saved again is one of the two options, and the one the run used.
    const std::string speed = l.host.settings.get("Speed", "");
    ASSERT_TRUE(speed == "0" || speed == "1") << speed;
    const auto commands = server->commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), 4), speed == "1" ? 1 : 0);
  }
}

TEST(BadInput, CellNumbersAndPinsOfEveryShape) {
  struct Case {
    std::string saved_cell;
    std::vector<std::string> answers;  // PIN, then the number unless the PIN was refused
    int status;
  };
  const std::vector<Case> cases = {
      {kBinary, {"1234", " 0400 111 222 "}, kExitCompleted},
      {"", {"1234", " "}, kExitCompleted},         // a blank number is still a number
      {kHuge, {"1234", kHuge}, kExitModemFailed},  // no modem takes a command that long
      {"", {"1234", ""}, kExitModemFailed},
      {"", {"123", "555"}, kExitModemFailed},  // no PIN sent: the locked SIM refuses to dial
      {"", {"12345", "555"}, kExitModemFailed},
      {"", {kBinary, "555"}, kExitModemFailed},
      {"", {"12\"4"}, kExitModemFailed},  // four characters: sent, refused, the end
      {"", {"\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9"}, kExitModemFailed},
  };
  for (const Case& c : cases) {
    sim::V5Server::Config sc;
    sc.records = runtest::clean_records(3);
    sc.write_pointer = 3;
    sim::V5Server server(sc);
    sim::CellModem::Config mc;
    mc.pin = "1234";
    sim::CellModem modem(server, mc);
    Launch l;
    l.host.line.attach(1, modem);
    l.host.settings.set("Cell", c.saved_cell);
    for (const auto& a : c.answers) l.host.dialogs.answer(a);
    const std::string name = c.answers[0].substr(0, 8) + "/" + c.answers.back().substr(0, 8);
    EXPECT_EQ(l.run(), c.status) << name;
    ASSERT_EQ(prompt_titles(l).size(), c.answers.size()) << name;
    if (c.answers.size() == 2) {
      EXPECT_EQ(l.host.dialogs.prompts()[1].default_text, c.saved_cell) << name;
    }
    EXPECT_EQ(server.clear_count(), c.status == kExitCompleted ? 1 : 0) << name;
    // A refused PIN is sent once at most, so the SIM keeps its tries.
    int pins = 0;
    for (const auto& cmd : modem.commands()) pins += cmd.rfind("AT+CPIN=", 0) == 0;
    EXPECT_LE(pins, 1) << name;
  }
}

TEST(BadInput, ReloadAnswersOfEveryShape) {
  for (const bool hi : {false, true}) {
    for (const std::string& answer :
         {std::string(), std::string("-5"), std::string("abc"), std::string("3.5"),
          std::string("200"), std::string("1e9"), std::string("99999999999"),
          std::string("2147483647"), kHuge, kBinary}) {
      Launch l;
      l.host.settings.set("Speed", hi ? "1" : "0");
      sim::V5Server::Config c;
      c.records = runtest::clean_records(40);
      c.buffer_size = 64;
      c.write_pointer = 10;  // the readings wrap round the store's end
      c.read_pointer = 10;   // nothing new
      sim::V5Server server(c);
      l.host.line.attach(1, server);
      l.host.dialogs.answer(answer);
      const int status = l.run();
      const std::string name = answer.substr(0, 12) + (hi ? " Hi" : " Lo");
      EXPECT_TRUE(status == kExitCompleted || status == kExitNoComms) << name;
      // A reload fetches each slot once at most, in whole lines.
      EXPECT_LE(l.dump_lines().size(), 65U) << name;
      EXPECT_EQ(
          check_invariant(reading_lines(c.records), l.host.read_output("Tavric Dumps/Dump00.csv"),
                          l.host.read_output("Tavric Probe Data.csv"), false),
          "")
          << name;
    }
  }
}

TEST(BadInput, OutputPlacesThatAreTheWrongKindOfFile) {
  for (const char* blocker : {"Tavric Dumps", "Tavric Probe Data.csv"}) {
    Launch l;
    const auto path = l.host.output_dir / blocker;
    if (std::string(blocker) == "Tavric Dumps") {
      std::ofstream(path) << "not a folder\r\n";
    } else {
      std::filesystem::create_directory(path);
    }
    auto server = v5_server(l);
    EXPECT_EQ(l.run(), kExitOutputFailed) << blocker;
    EXPECT_EQ(server->clear_count(), 0) << blocker;
    ASSERT_EQ(l.message_titles(), std::vector<std::string>{"ERROR"}) << blocker;
    EXPECT_NE(l.host.dialogs.messages()[0].text.find(blocker), std::string::npos);
  }
}

}  // namespace
}  // namespace tavric::robustness
