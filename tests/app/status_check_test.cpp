#include <gtest/gtest.h>

#include "app/status_check.h"
#include "session/exit_status.h"
#include "sim/legacy_server.h"
#include "tests/app/launch_fixture.h"

namespace tavric {
namespace {

using launchtest::ModemSetup;
using launchtest::OptionLaunch;
using launchtest::v5_with;

struct StatusLaunch : OptionLaunch {
  std::ostringstream out;
  int check() {
    return run([this](DownloadRun& r) { return StatusCheck(r, out); });
  }
  // The server was asked for nothing but its status, and no output file was made.
  void expect_nothing_touched(const std::vector<int>& commands, const std::vector<int>& status) {
    EXPECT_EQ(commands, status);
    EXPECT_FALSE(std::filesystem::exists(host.output_dir / "Tavric Dumps"));
    EXPECT_FALSE(std::filesystem::exists(host.output_dir / "Tavric Probe Data.csv"));
  }
};

TEST(StatusCheck, V5ServerToldAndLeftAsItWas) {
  StatusLaunch l;
  auto c = v5_with(30);
  c.read_pointer = 10;
  c.clock = {2012, 3, 4, 14, 0, 0};
  sim::V5Server server(c);
  l.host.line.attach(1, server);
  l.host.clock.set_local({2012, 3, 4, 15, 2, 5});

  EXPECT_EQ(l.check(), kExitCompleted);
  EXPECT_EQ(l.out.str(),
            "server: v5, on com1\n"
            "readings waiting: 20\n"
            "store: " +
                std::to_string(server.slots().size()) +
                " slots, read pointer 10, write pointer 30\n"
                "server clock: 2012/03/04 14:00:00, 1 h 2 min behind this computer's clock\n"
                "line speed: 9600,n,8,1\n");
  l.expect_nothing_touched(server.commands(), {16});
  EXPECT_FALSE(l.host.line.is_open());
  EXPECT_TRUE(l.trace.has("status check: readings waiting: 20"));
}

TEST(StatusCheck, LegacyServerAndInvalidClock) {
  StatusLaunch legacy;
  sim::LegacyServer::Config c;
  c.records = runtest::clean_records(9);
  sim::LegacyServer server(c);
  legacy.host.line.attach(1, server);
  legacy.host.clock.set_local({2012, 2, 29, 13, 30, 0});
  EXPECT_EQ(legacy.check(), kExitCompleted);
  EXPECT_EQ(legacy.out.str(),
            "server: legacy, on com1\n"
            "new data: 3 blocks of four readings waiting\n"
            "server clock: 2012/02/29 13:30:00, the same as this computer's\n"
            "line speed: 9600,n,8,1\n");
  legacy.expect_nothing_touched(server.commands(), {9, 11, 1});

  StatusLaunch unset;
  auto v5 = v5_with(3);
  v5.clock_valid = false;
  sim::V5Server v5_server(v5);
  unset.host.line.attach(1, v5_server);
  EXPECT_EQ(unset.check(), kExitCompleted);
  EXPECT_NE(unset.out.str().find("\nserver clock: not set\n"), std::string::npos);
}

// Through the modem as a download run finds it, the call hung up at the end; a server
// that never answers ends as a run does.
TEST(StatusCheck, ThroughTheModemAndNoServer) {
  StatusLaunch l;
  ModemSetup rig(l);
  l.options = {.cell = "0400111222", .unattended = true};
  EXPECT_EQ(l.check(), kExitCompleted);
  EXPECT_EQ(l.out.str().substr(0, 71),
            "server: v5, on com1, through the cell modem calling 0400111222\nreadings");
  EXPECT_EQ(rig.modem.commands().back(), "ATH");
  l.expect_nothing_touched(rig.server.commands(), {16});

  StatusLaunch none;
  none.options.unattended = true;
  EXPECT_EQ(none.check(), kExitNoComms);
  EXPECT_TRUE(none.out.str().empty());
}

}  // namespace
}  // namespace tavric
