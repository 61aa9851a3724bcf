#include <gtest/gtest.h>

#include "link/modem.h"
#include "platform/run_control.h"
#include "session/exit_status.h"
#include "sim/modem.h"
#include "sim/v5_server.h"
#include "tests/app/run_fixture.h"

namespace tavric {
namespace {

using runtest::clean_records;
using runtest::Launch;

struct ModemRig {
  explicit ModemRig(sim::CellModem::Config modem_config = {}, int readings = 12) {
    sim::V5Server::Config c;
    c.records = clean_records(readings);
    c.write_pointer = readings;
    server = std::make_unique<sim::V5Server>(c);
    modem = std::make_unique<sim::CellModem>(*server, modem_config);
    launch.host.line.attach(1, *modem);
  }
  std::unique_ptr<sim::V5Server> server;
  std::unique_ptr<sim::CellModem> modem;
  Launch launch;
};

TEST(ModemRun, CallWithPinDownloadsThroughTheCallAndHangsUp) {
  sim::CellModem::Config mc;
  mc.pin = "4321";
  ModemRig rig(mc);
  Launch& l = rig.launch;
  l.host.settings.set("Cell", "0400111222");
  l.host.dialogs.answer("4321");
  l.host.dialogs.answer(" 0400 999 888 ");
  EXPECT_EQ(l.run(), kExitCompleted);
  ASSERT_EQ(l.host.dialogs.prompts().size(), 2U);
  EXPECT_EQ(l.host.dialogs.prompts()[0].title, "Pin Code");
  EXPECT_EQ(l.host.dialogs.prompts()[1].title, "Cell Number");
  EXPECT_EQ(l.host.dialogs.prompts()[1].default_text, "0400111222");
  const Bytes sent = l.host.line.sent_bytes();
  const std::string dial = "ATD 0400 999 888 \r";  // the answer as typed
  EXPECT_NE(std::search(sent.begin(), sent.end(), dial.begin(), dial.end()), sent.end());
  EXPECT_EQ(l.host.settings.get("Cell", ""), "0400 999 888");
  EXPECT_EQ(rig.server->clear_count(), 1);
  EXPECT_EQ(rig.modem->hangups(), 1);
  EXPECT_FALSE(l.session.modem.connected());
  EXPECT_EQ(l.session.line.call_delay, MonoTime{0});
}

TEST(ModemRun, SimWithoutPinAndAModemThatWakesLate) {
  sim::CellModem::Config mc;
  mc.ignored_ate0 = 1;
  ModemRig rig(mc);
  rig.launch.host.dialogs.answer("5551234");
  EXPECT_EQ(rig.launch.run(), kExitCompleted);
  ASSERT_EQ(rig.launch.host.dialogs.prompts().size(), 1U);  // no PIN prompt
  EXPECT_EQ(rig.launch.host.dialogs.prompts()[0].title, "Cell Number");
}

TEST(ModemRun, FailedDialsHangUpAndShowTheModemsReply) {
  using enum sim::CellModem::DialResult;
  for (const auto& [result, reply] :
       {std::pair{NoCarrier, "NO CARRIER"}, {Busy, "BUSY"}, {Error, "ERROR"}, {Silent, ""}}) {
    sim::CellModem::Config mc;
    mc.dial = result;
    mc.dial_delay = std::chrono::seconds(10);
    ModemRig rig(mc);
    Launch& l = rig.launch;
    l.host.dialogs.answer("777");
    MonoTime dial_start{};
    l.host.window.when([&] { return l.host.window.event_text() == "Dialing 777 ..."; },
                       [&] { dial_start = l.host.clock.monotonic(); });
    EXPECT_EQ(l.run(), kExitModemFailed);
    ASSERT_EQ(l.message_titles(), std::vector<std::string>{"ERROR"});
    const std::string& text = l.host.dialogs.messages()[0].text;
    EXPECT_EQ(text.rfind("Cannot connect to 777.\r", 0), 0U) << text;
    EXPECT_NE(text.find(reply), std::string::npos) << text;
    ASSERT_FALSE(rig.modem->commands().empty());
    EXPECT_EQ(rig.modem->commands().back(), "ATH");
    // A reply ends the wait; silence costs the whole minute.
    const double waited =
        std::chrono::duration<double>(l.host.clock.monotonic() - dial_start).count();
    EXPECT_TRUE(result == Silent ? waited >= 60 && waited < 61 : waited < 20) << waited;
  }
}

TEST(ModemRun, ServerSilentThroughTheCallDisconnectsAndEnds) {
  sim::V5Server::Config c;
  c.faults.silent = {1, 2, 3, 4, 5, 6, 7, 8};
  sim::V5Server server(c);
  sim::CellModem modem(server, {});
  Launch l;
  l.host.line.attach(1, modem);
  l.host.dialogs.answer("42");
  EXPECT_EQ(l.run(), kExitModemFailed);
  ASSERT_EQ(l.message_titles(), std::vector<std::string>{"No Comms"});
  EXPECT_EQ(modem.hangups(), 1);
}

TEST(ModemDialogue, RepliesAreMatchedAsTheyCome) {
  // A scripted modem: answers each command line with the next reply.
  struct Scripted : sim::LineDevice {
    std::vector<std::string> replies;
    std::size_t next = 0;
    sim::LineEnd* line = nullptr;
    void attach(sim::LineEnd& l) override { line = &l; }
    void receive(ByteView, MonoTime at) override {
      if (next >= replies.size()) return;
      const std::string& r = replies[next++];
      line->send(Bytes(r.begin(), r.end()), at + std::chrono::milliseconds(50));
    }
  };
  Launch l;
  Scripted modem;
  modem.replies = {"\r\nok\r\n", "\r\nok\r\n", "\r\nok\r\n", "\r\nerror\r\n"};
  l.host.line.attach(1, modem);
  l.host.line.set_comm_port(1);
  std::string error;
  ASSERT_TRUE(l.host.line.open(error));
  Modem& m = l.session.modem;
  const MonoTime start = l.host.clock.monotonic();
  EXPECT_FALSE(m.ModemComms("AT"));  // "ok" in lower case never satisfies
  EXPECT_EQ(l.host.clock.monotonic() - start, std::chrono::seconds(3));
  // The wait still looks for "OK", as the command left it.
  l.host.line.output(Bytes{'A', 'T', '\r'});
  EXPECT_FALSE(m.WaitModemComms(1.0F));  // "error" in lower case ends the wait at once
  EXPECT_LT(l.host.clock.monotonic() - start, std::chrono::milliseconds(3100));
}

}  // namespace
}  // namespace tavric
