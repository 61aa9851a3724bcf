#include <gtest/gtest.h>

#include <fstream>
#include <tuple>

#include "session/exit_status.h"
#include "sim/modem.h"
#include "sim/v5_server.h"
#include "tests/app/run_fixture.h"

namespace tavric::robustness {
namespace {

using runtest::Launch;

const std::string kHuge(100000, '7');
const std::string kBinary("\xff\xfe\x00\x01\r\n\x1b[2J", 10);

// `readings` new readings in a store of 64 slots.
sim::V5Server::Config v5_config(int readings = 5) {
  sim::V5Server::Config c;
  c.records = runtest::clean_records(readings);
  c.buffer_size = 64;
  c.write_pointer = readings;
  return c;
}

// A v5 server on port 1 with five new readings.
std::unique_ptr<sim::V5Server> v5_server(Launch& l) {
  auto server = std::make_unique<sim::V5Server>(v5_config());
  l.host.line.attach(1, *server);
  return server;
}

std::vector<std::string> prompt_titles(const Launch& l) {
  std::vector<std::string> titles;
  for (const auto& p : l.host.dialogs.prompts()) titles.push_back(p.title);
  return titles;
}

TEST(BadInput, SavedPortOfEveryShape) {
  const std::pair<std::string, std::vector<std::string>> ports[] = {
      {"Serial Port", {"", "abc", "32768", kHuge, kBinary}},  // unreadable: the user is asked
      {"No Comms", {"-3", "3.5"}},                            // no server there: asked again
      {"", {" 1", "1abc", "+1e0"}},                           // port 1 after all
  };
  for (const auto& [prompt, saved_values] : ports) {
    for (const std::string& saved : saved_values) {
      SCOPED_TRACE(saved.substr(0, 12));
      Launch l;
      l.host.settings.set("Port", saved);
      auto server = v5_server(l);
      if (!prompt.empty()) l.host.dialogs.answer("1");
      EXPECT_EQ(l.run(), kExitCompleted);
      EXPECT_EQ(prompt_titles(l),
                prompt.empty() ? std::vector<std::string>{} : std::vector<std::string>{prompt});
      EXPECT_EQ(l.host.settings.get("Port", ""), "1");
      EXPECT_EQ(server->clear_count(), 1);
    }
  }
}

TEST(BadInput, CellNumbersAndPinsOfEveryShape) {
  // The saved number; the answers: PIN, then the number unless the PIN was refused.
  const std::tuple<std::string, std::vector<std::string>, int> cases[] = {
      {kBinary, {"1234", " 0400 111 222 "}, kExitCompleted},
      {"", {"1234", " "}, kExitCompleted},         // a blank number is still a number
      {kHuge, {"1234", kHuge}, kExitModemFailed},  // no modem takes a command that long
      {"", {"123", "555"}, kExitModemFailed},      // no PIN sent: the locked SIM refuses to dial
      {"", {kBinary, "555"}, kExitModemFailed},
      {"", {"12\"4"}, kExitModemFailed},  // four characters: sent, refused, the end
  };
  for (const auto& [saved_cell, answers, status] : cases) {
    SCOPED_TRACE(answers[0].substr(0, 8) + "/" + answers.back().substr(0, 8));
    sim::V5Server server(v5_config());
    sim::CellModem::Config mc;
    mc.pin = "1234";
    sim::CellModem modem(server, mc);
    Launch l;
    l.host.line.attach(1, modem);
    l.host.settings.set("Cell", saved_cell);
    for (const auto& a : answers) l.host.dialogs.answer(a);
    EXPECT_EQ(l.run(), status);
    ASSERT_EQ(prompt_titles(l).size(), answers.size());
    if (answers.size() == 2) {
      EXPECT_EQ(l.host.dialogs.prompts()[1].default_text, saved_cell);
    }
    EXPECT_EQ(server.clear_count(), status == kExitCompleted ? 1 : 0);
    // A PIN of four characters is sent once, refused or not, so the SIM keeps its tries;
    // one of another length is not sent at all.
    int pins = 0;
    for (const auto& cmd : modem.commands()) pins += cmd.rfind("AT+CPIN=", 0) == 0;
    EXPECT_EQ(pins, answers[0].size() == 4 ? 1 : 0);
  }
}

// Nothing new, so the user is offered a reload of readings that wrap round the store's
// end. No number (an empty answer is what cancel gives), or none above 0, fetches nothing
// and touches no file; the clock is set and the store cleared all the same. A number too
// long to hold asks for all the store holds: its 63 slots.
TEST(BadInput, ReloadAnswersOfEveryShape) {
  for (const bool hi : {false, true}) {  // fetched slot by slot, or in bulk
    for (const std::string& answer : {std::string(), std::string("0"), std::string("-5"),
                                      std::string("abc"), std::string("99999999999"), kHuge}) {
      SCOPED_TRACE(answer.substr(0, 12) + (hi ? " Hi" : " Lo"));
      const bool everything = answer.size() > 3;
      Launch l;
      l.host.settings.set("Speed", hi ? "1" : "0");
      sim::V5Server::Config c = v5_config(40);
      c.write_pointer = c.read_pointer = 10;
      sim::V5Server server(c);
      l.host.line.attach(1, server);
      l.host.dialogs.answer(answer);
      EXPECT_EQ(l.run(), kExitCompleted);
      EXPECT_EQ(prompt_titles(l), std::vector<std::string>{"No Readings"});
      EXPECT_EQ(server.clear_count(), 1);
      const auto commands = server.commands();
      if (everything) {
        EXPECT_EQ(std::count(commands.begin(), commands.end(), hi ? 4 : 19), hi ? 1 : 63);
        EXPECT_EQ(l.dump_lines().size(), 1U + 63);
      } else {
        EXPECT_EQ(commands, (std::vector<int>{16, 10, 9}));  // status, clock, clearing
        EXPECT_FALSE(std::filesystem::exists(l.host.output_dir / "Tavric Dumps"));
        EXPECT_FALSE(std::filesystem::exists(l.host.output_dir / "Tavric Probe Data.csv"));
      }
    }
  }
}

TEST(BadInput, OutputPlacesThatAreTheWrongKindOfFile) {
  for (const std::string blocker : {"Tavric Dumps", "Tavric Probe Data.csv"}) {
    Launch l;
    const auto path = l.host.output_dir / blocker;
    if (blocker == "Tavric Dumps") {
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
