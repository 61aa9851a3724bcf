#include <gtest/gtest.h>

#include "sim/modem.h"
#include "sim/v5_server.h"
#include "tests/sim/sim_client.h"

namespace {

using simtest::Bytes;
using simtest::transact;
using tavric::MonoTime;
using tavric::sim::CellModem;
using tavric::testhost::TestHost;
using namespace std::chrono_literals;

std::string say(TestHost& host, const std::string& command, MonoTime quiet = 500ms) {
  const Bytes b = transact(host, command, quiet);
  return std::string(b.begin(), b.end());
}

TEST(CellModem, WholeDialogueWithPinAndCall) {
  tavric::sim::V5Server server;
  CellModem::Config config;
  config.pin = "4321";
  CellModem modem(server, config);
  TestHost host;
  simtest::open_line(host, modem);

  // Before it looks for a modem the client has tried both server generations on the
  // line; their frames (a carriage return among the v5 bytes) must not spoil "ATE0".
  for (int i = 0; i < 4; ++i) transact(host, simtest::legacy_request(9));
  for (int i = 0; i < 4; ++i) transact(host, simtest::v5_request(16, {0}));
  const std::string first = say(host, "ATE0\r");
  EXPECT_NE(first.find("ATE0"), std::string::npos);  // echo is on until ATE0
  EXPECT_EQ(first.substr(first.size() - 6), "\r\nOK\r\n");
  EXPECT_EQ(modem.commands(), std::vector<std::string>({"ATE0"}));

  EXPECT_EQ(say(host, "AT+CPIN?\r"), "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n");
  EXPECT_NE(say(host, "AT+CPIN=\"1111\"\r").find("ERROR"), std::string::npos);
  EXPECT_FALSE(modem.sim_unlocked());
  EXPECT_EQ(say(host, "AT+CPIN=\"4321\"\r"), "\r\nOK\r\n");
  EXPECT_NE(say(host, "AT+CPIN?\r").find("READY"), std::string::npos);

  const MonoTime dialled = host.clock.monotonic();
  EXPECT_EQ(say(host, "ATD 0412 345 678\r", 10s), "\r\nCONNECT 9600\r\n");
  EXPECT_GE(host.clock.monotonic() - dialled, config.dial_delay);
  EXPECT_EQ(modem.dialled(), std::vector<std::string>({"0412 345 678"}));
  ASSERT_TRUE(modem.in_call());

  // Through the call the server answers late, but within the client's 5.5 seconds.
  const MonoTime asked = host.clock.monotonic();
  host.line.output(simtest::v5_request(16, {0}));
  host.line.wait_for_input(asked + 5500ms, tavric::WindowEvents::Hold, 1);
  const MonoTime first_byte = host.clock.monotonic() - asked;
  EXPECT_GE(first_byte, 2 * config.call_delay);
  EXPECT_LT(first_byte, 5500ms);
  EXPECT_TRUE(simtest::v5_reply_ok(transact(host, Bytes{})));

  // Pluses inside a frame are data; only "+++" after a pause leaves the call.
  EXPECT_TRUE(
      simtest::v5_reply_ok(transact(host, simtest::v5_request(10, {0x2B, 0x2B, 0x2B, 0x2B}), 3s)));
  EXPECT_EQ(server.commands(), std::vector<int>({16, 10}));
  EXPECT_EQ(say(host, "+++", 2s), "\r\nOK\r\n");
  EXPECT_TRUE(modem.in_call());
  EXPECT_EQ(say(host, "ATH\r"), "\r\nOK\r\n");
  EXPECT_FALSE(modem.in_call());
  EXPECT_EQ(modem.hangups(), 1);
}

// A SIM takes three wrong PINs in a row and then asks for its PUK: even the right PIN
// no longer unlocks it. A right PIN before then gives it its three tries back.
TEST(CellModem, SimLocksAfterThreeWrongPinsInARow) {
  tavric::sim::V5Server server;
  CellModem::Config config;
  config.pin = "4321";
  CellModem modem(server, config);
  TestHost host;
  simtest::open_line(host, modem);
  say(host, "ATE0\r");
  say(host, "AT+CPIN=\"1111\"\r");
  say(host, "AT+CPIN=\"2222\"\r");
  EXPECT_EQ(modem.pin_tries_left(), 1);
  EXPECT_EQ(say(host, "AT+CPIN=\"4321\"\r"), "\r\nOK\r\n");
  EXPECT_EQ(modem.pin_tries_left(), 3);

  CellModem fresh(server, config);
  TestHost other;
  simtest::open_line(other, fresh);
  say(other, "ATE0\r");
  for (const char* pin : {"1111", "2222", "3333"}) {
    EXPECT_EQ(say(other, "AT+CPIN=\"" + std::string(pin) + "\"\r"), "\r\n+CME ERROR: 16\r\n");
  }
  EXPECT_TRUE(fresh.sim_locked());
  EXPECT_EQ(say(other, "AT+CPIN?\r"), "\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n");
  EXPECT_EQ(say(other, "AT+CPIN=\"4321\"\r"), "\r\n+CME ERROR: 12\r\n");
  EXPECT_FALSE(fresh.sim_unlocked());
}

TEST(CellModem, EchoThatStaysOnEchoesEveryCommandLine) {
  tavric::sim::V5Server server;
  CellModem::Config config;
  config.pin = "4321";
  config.echo_stays_on = true;
  CellModem modem(server, config);
  TestHost host;
  simtest::open_line(host, modem);

  EXPECT_EQ(say(host, "ATE0\r"), "ATE0\r\r\nOK\r\n");
  EXPECT_TRUE(modem.echo());
  EXPECT_EQ(say(host, "AT+CPIN=\"4321\"\r"), "AT+CPIN=\"4321\"\r\r\nOK\r\n");
  EXPECT_TRUE(modem.sim_unlocked());
}

}  // namespace
