#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/calendar.h"
#include "sim/faults.h"
#include "sim/modem.h"

namespace tavric::sim {

// What the standalone simulator serves, as its options describe it.
struct Scenario {
  enum class Generation { Legacy, V5 };

  Generation generation = Generation::V5;
  // Instead of a server: a line that never goes quiet ("zeros", "noise", "5e").
  std::string endless;
  int legacy_baud = 9600;  // a legacy server's speed at start (56000: left there)
  bool modem = false;
  CellModem::Config modem_config;
  int readings = 40;                   // records in the store
  int buffer_size = 1000;              // v5 slots
  int write_pointer = -1;              // -1: just after the records, filled from slot 0
  int read_pointer = -1;               // -1: every record is new
  int new_readings = -1;               // v5 status count, when above the pointers' distance
  std::optional<LocalDateTime> clock;  // empty: the computer's clock at start
  bool clock_valid = true;
  FaultPlan faults;
  std::uint64_t seed = 1;
  bool clean_records = false;  // only kind-1 readings with good batteries
  double turnaround_s = 0.02;
  int port = 1;
  std::filesystem::path settings_dir;  // empty: $XDG_CONFIG_HOME/RNQ7
  std::string log_file;
  double exit_after_idle_s = 0;  // 0: run until killed
  bool unpaced = false;          // bytes reach the client as fast as it reads them
  bool help = false;
};

// Reads the options (without the program name). On a bad option `error` is set to a
// one-line reason.
Scenario parse_scenario(const std::vector<std::string>& args, std::string& error);

// The --help text.
std::string scenario_help(const std::string& program);

}  // namespace tavric::sim
