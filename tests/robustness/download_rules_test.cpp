#include <gtest/gtest.h>

#include <string_view>

#include "session/exit_status.h"
#include "sim/legacy_server.h"
#include "sim/modem.h"
#include "sim/v5_server.h"
#include "tests/app/run_fixture.h"

namespace tavric::robustness {
namespace {

using runtest::Launch;

// A run through a modem puts on the line the two status attempts at 9600 bit/s and then
// the modem dialogue: no request at 56000 bit/s for a legacy server left there.
TEST(DownloadRules, AModemRunSendsNothingBeforeTheModemDialogueButTheStatusRequests) {
  Launch l;
  l.host.settings.set("Cell", "0400111222");
  sim::V5Server::Config c;
  c.records = runtest::clean_records(6);
  c.write_pointer = 6;
  sim::V5Server server(c);
  sim::CellModem modem(server);
  l.host.line.attach(1, modem);
  l.host.dialogs.answer("0400111222");
  EXPECT_EQ(l.run(), kExitCompleted);
  const Bytes sent = l.host.line.sent_bytes();
  const std::string_view text(reinterpret_cast<const char*>(sent.data()), sent.size());
  const std::size_t ate0 = text.find("ATE0\r");
  ASSERT_NE(ate0, std::string_view::npos);
  // Legacy status requests (17 bytes each) and v5 status requests (10 bytes), however
  // many attempts the modem's echo made of them, and nothing else.
  constexpr std::string_view kLegacy = "\x5E\xFF\xFF\xFF\x0E\x00";
  constexpr std::string_view kV5 = std::string_view("\x00\x5E\xFF\xFF\x03\x00\x10\x00\x0D\x84", 10);
  int v5 = 0;
  for (std::size_t at = 0; at < ate0;) {
    if (text.substr(at, kLegacy.size()) == kLegacy) {
      at += 17;
    } else {
      ASSERT_EQ(text.substr(at, kV5.size()), kV5) << "at byte " << at;
      at += kV5.size();
      ++v5;
    }
  }
  EXPECT_GE(v5, 1);
  for (const auto& chunk : l.host.line.sent()) EXPECT_EQ(chunk.baud, 9600);
}

// Blocks past the last one a request can name cannot be fetched by this run or any
// other: the store is kept, and the message says they will not come with the next run.
TEST(DownloadRules, LegacyBlocksPastTheLastThatCanBeAskedForKeepTheStore) {
  Launch l;
  l.host.settings.set("Speed", "1");
  sim::LegacyServer::Config c;
  c.records = runtest::clean_records(8);
  c.reported_blocks = 32706;
  c.faults.silent = {6, 7, 8, 9};  // block 1 unanswered: the rest is counted, not fetched
  sim::LegacyServer server(c);
  l.host.line.attach(1, server);
  EXPECT_EQ(l.run(), kExitReadingsKept);
  EXPECT_EQ(server.clear_count(), 0);
  ASSERT_EQ(l.message_titles(), std::vector<std::string>{"Readings Kept"});
  EXPECT_EQ(l.host.dialogs.messages()[0].text,
            "32706 blocks of readings could not be fetched; the last 2 of them lie past the "
            "last block a request can reach and cannot be fetched by any run, the others will "
            "come with the next run. The store was kept on the server.");
  EXPECT_EQ(l.host.window.event_history().back(), "Readings left on the server");
}

// A port whose driver takes 56000 bit/s as another speed cannot follow the server there:
// the server is never asked to move, and the blocks come at 9600 bit/s.
TEST(DownloadRules, APortThatCannotRunAt56000KeepsTheLegacyDownloadAt9600) {
  Launch l;
  l.host.settings.set("Speed", "1");
  l.host.line.round_speed(56000, 38400);
  sim::LegacyServer::Config c;
  c.records = runtest::clean_records(4 * 5);
  sim::LegacyServer server(c);
  l.host.line.attach(1, server);
  EXPECT_EQ(l.run(), kExitCompleted);
  EXPECT_EQ(server.clear_count(), 1);
  EXPECT_EQ(l.probe_lines().size(), 4 * 5 + 1U);
  for (const auto& r : server.requests()) {
    EXPECT_NE(r.command, 14);
    EXPECT_EQ(r.baud, 9600);
  }
}

}  // namespace
}  // namespace tavric::robustness
