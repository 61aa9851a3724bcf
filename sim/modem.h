#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/bytes.h"
#include "sim/line_device.h"

namespace tavric::sim {

// A cell (GSM) modem between the client's serial line and a server reached by a call.
// In command mode it takes lines ending in a carriage return and answers with
// "\r\n<result>\r\n":
//   AT, ATZ, ATE1 -> OK; ATE0 -> OK and echo off (echo is on at power-up)
//   AT+CPIN? -> "+CPIN: READY", "+CPIN: SIM PIN" or "+CPIN: SIM PUK", then OK
//   AT+CPIN="nnnn" -> OK (right PIN, SIM unlocked) or "+CME ERROR: 16" (wrong PIN);
//     as a real SIM, it locks after three wrong PINs in a row and then answers
//     "+CME ERROR: 12" (PUK required) to every PIN, right or wrong. The tries left are
//     kept for as long as the modem lives, across the client's runs.
//   ATD<number> -> after `dial_delay`: "CONNECT 9600", "BUSY" or "NO CARRIER"; at once
//     "ERROR" (also while the SIM is locked); or nothing at all. A byte received while
//     the call is being set up aborts it with "NO CARRIER".
//   ATO -> back to data mode while the call is up
//   ATH -> OK, the call (if any) ends; any other command -> ERROR
// Whatever precedes "AT" on a line is ignored, and a line without "AT" (line noise, or
// a server request sent to the modem) gets no answer.
// "+++" after a pause of at least `escape_guard` leaves the call for command mode (the
// call stays up until ATH) and is answered OK; in command mode "+++" is answered OK too.
// While a call is up, the client's bytes reach the server and the server's reach the
// client each `call_delay` later.
class CellModem : public LineDevice {
 public:
  enum class DialResult { Connect, Busy, NoCarrier, Error, Silent };

  struct Config {
    std::string pin;  // empty: the SIM needs no PIN
    DialResult dial = DialResult::Connect;
    std::string number;  // when not empty, only this number connects; others NO CARRIER
    MonoTime dial_delay = std::chrono::seconds(8);
    MonoTime reply_delay = std::chrono::milliseconds(30);  // AT command turnaround
    MonoTime call_delay = std::chrono::milliseconds(900);  // each way, through the call
    MonoTime escape_guard = std::chrono::milliseconds(500);
    // Commands the modem misses while it wakes up (no echo, no answer), so that with
    // 1 only the second "ATE0" is answered.
    int ignored_ate0 = 0;
    // A modem that answers "ATE0" but keeps echoing every command line.
    bool echo_stays_on = false;
  };

  // `server` is the device at the other end of the call; the modem attaches it to an
  // inner line of its own. It must outlive the modem.
  explicit CellModem(LineDevice& server) : CellModem(server, Config{}) {}
  CellModem(LineDevice& server, Config config);
  ~CellModem() override;

  void attach(LineEnd& line) override;
  void receive(ByteView bytes, MonoTime at) override;

  // Command lines received in command mode, without the carriage return; "+++" for
  // every escape.
  const std::vector<std::string>& commands() const { return commands_; }
  const std::vector<std::string>& dialled() const { return dialled_; }
  bool sim_unlocked() const { return unlocked_; }
  // Three wrong PINs were given: only the PUK (which this modem does not take) helps.
  bool sim_locked() const { return pin_tries_left_ == 0; }
  int pin_tries_left() const { return pin_tries_left_; }
  bool echo() const { return echo_; }
  // A call is up (dialled and connected, not yet hung up).
  bool in_call() const { return call_up_; }
  // In data mode: the client's bytes go to the server.
  bool online() const { return online_; }
  int calls() const { return calls_; }
  int hangups() const { return hangups_; }

 private:
  class CallLine;
  void command_byte(Byte b, MonoTime at);
  void run_command(const std::string& line, MonoTime at);
  void reply(const std::string& text, MonoTime at);
  void data_bytes(ByteView bytes, MonoTime at);

  LineDevice& server_;
  Config config_;
  LineEnd* line_ = nullptr;
  std::unique_ptr<CallLine> call_line_;
  std::string pending_;
  std::vector<std::string> commands_;
  std::vector<std::string> dialled_;
  bool echo_ = true;
  bool unlocked_ = false;
  int pin_tries_left_ = 3;
  bool call_up_ = false;
  bool online_ = false;
  MonoTime online_from_{0};  // the CONNECT result has been sent by then
  MonoTime last_data_at_{0};
  int plus_count_ = 0;
  int asleep_lines_ = 0;
  int calls_ = 0;
  int hangups_ = 0;
};

}  // namespace tavric::sim
