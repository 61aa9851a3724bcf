#include "sim/scenario.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>

namespace tavric::sim {
namespace {

bool to_int(const std::string& s, long lo, long hi, long& out) {
  const char* end = s.data() + s.size();
  auto [p, ec] = std::from_chars(s.data(), end, out);
  return !s.empty() && ec == std::errc() && p == end && out >= lo && out <= hi;
}

bool to_seconds(const std::string& s, double& out) {
  char* end = nullptr;
  out = std::strtod(s.c_str(), &end);
  return !s.empty() && end == s.c_str() + s.size() && std::isfinite(out) && out >= 0 && out <= 3600;
}

bool to_datetime(const std::string& s, LocalDateTime& t) {
  char extra = 0;
  const int n = std::sscanf(s.c_str(), "%d-%d-%d %d:%d:%d%c", &t.year, &t.month, &t.day, &t.hour,
                            &t.minute, &t.second, &extra);
  if (n != 6) return false;
  // Only a date that exists, within what the servers' clocks can hold.
  return t.year >= 2000 && t.year <= 2099 && from_seconds_since_2000(seconds_since_2000(t)) == t;
}

bool to_dial(const std::string& s, CellModem::DialResult& out) {
  static const std::map<std::string, CellModem::DialResult> names = {
      {"connect", CellModem::DialResult::Connect},
      {"busy", CellModem::DialResult::Busy},
      {"no-carrier", CellModem::DialResult::NoCarrier},
      {"error", CellModem::DialResult::Error},
      {"silent", CellModem::DialResult::Silent}};
  auto it = names.find(s);
  if (it == names.end()) return false;
  out = it->second;
  return true;
}

}  // namespace

Scenario parse_scenario(const std::vector<std::string>& args, std::string& error) {
  Scenario sc;
  bool modem_option = false;
  std::size_t i = 0;
  // Options that take a value: each parser returns false when the value is bad.
  using Handler = std::function<bool(const std::string&)>;
  const std::map<std::string, Handler> with_value = {
      {"--generation",
       [&](const std::string& v) {
         if (v != "legacy" && v != "v5") return false;
         sc.generation = v == "legacy" ? Scenario::Generation::Legacy : Scenario::Generation::V5;
         return true;
       }},
      {"--pin",
       [&](const std::string& v) {
         modem_option = true;
         sc.modem_config.pin = v;
         return !v.empty();
       }},
      {"--cell",
       [&](const std::string& v) {
         modem_option = true;
         return to_dial(v, sc.modem_config.dial);
       }},
      {"--cell-number",
       [&](const std::string& v) {
         modem_option = true;
         sc.modem_config.number = v;
         return !v.empty();
       }},
      {"--dial-delay",
       [&](const std::string& v) {
         double s = 0;
         modem_option = true;
         if (!to_seconds(v, s)) return false;
         sc.modem_config.dial_delay = seconds_f(s);
         return true;
       }},
      {"--call-delay",
       [&](const std::string& v) {
         double s = 0;
         modem_option = true;
         if (!to_seconds(v, s)) return false;
         sc.modem_config.call_delay = seconds_f(s);
         return true;
       }},
      {"--readings",
       [&](const std::string& v) {
         long n = 0;
         if (!to_int(v, 0, 65535, n)) return false;
         sc.readings = static_cast<int>(n);
         return true;
       }},
      {"--buffer-size",
       [&](const std::string& v) {
         long n = 0;
         if (!to_int(v, 1, 65535, n)) return false;
         sc.buffer_size = static_cast<int>(n);
         return true;
       }},
      {"--write-pointer",
       [&](const std::string& v) {
         long n = 0;
         if (!to_int(v, 0, 65534, n)) return false;
         sc.write_pointer = static_cast<int>(n);
         return true;
       }},
      {"--read-pointer",
       [&](const std::string& v) {
         long n = 0;
         if (!to_int(v, 0, 65534, n)) return false;
         sc.read_pointer = static_cast<int>(n);
         return true;
       }},
      {"--new-readings",
       [&](const std::string& v) {
         long n = 0;
         if (!to_int(v, 0, 65535, n)) return false;
         sc.new_readings = static_cast<int>(n);
         return true;
       }},
      {"--clock",
       [&](const std::string& v) {
         LocalDateTime t;
         if (!to_datetime(v, t)) return false;
         sc.clock = t;
         return true;
       }},
      {"--fault",
       [&](const std::string& v) {
         if (v == "ate0-ignored") {
           modem_option = true;
           sc.modem_config.ignored_ate0 = 1;
           return true;
         }
         if (v == "echo-stays-on") {
           modem_option = true;
           sc.modem_config.echo_stays_on = true;
           return true;
         }
         const std::string e = add_fault(sc.faults, v);
         if (!e.empty()) error = e;
         return e.empty();
       }},
      {"--seed",
       [&](const std::string& v) {
         long n = 0;
         if (!to_int(v, 0, 0x7FFFFFFF, n)) return false;
         sc.seed = static_cast<std::uint64_t>(n);
         return true;
       }},
      {"--records",
       [&](const std::string& v) {
         if (v != "realistic" && v != "clean") return false;
         sc.clean_records = v == "clean";
         return true;
       }},
      {"--turnaround", [&](const std::string& v) { return to_seconds(v, sc.turnaround_s); }},
      {"--baud",
       [&](const std::string& v) {
         if (v != "9600" && v != "56000") return false;
         sc.legacy_baud = std::stoi(v);
         return true;
       }},
      {"--endless",
       [&](const std::string& v) {
         sc.endless = v;
         return v == "zeros" || v == "noise" || v == "5e";
       }},
      {"--port",
       [&](const std::string& v) {
         long n = 0;
         if (!to_int(v, 1, 255, n)) return false;
         sc.port = static_cast<int>(n);
         return true;
       }},
      {"--settings-dir",
       [&](const std::string& v) {
         sc.settings_dir = v;
         return !v.empty();
       }},
      {"--log",
       [&](const std::string& v) {
         sc.log_file = v;
         return !v.empty();
       }},
      {"--exit-after-idle",
       [&](const std::string& v) {
         return to_seconds(v, sc.exit_after_idle_s) && sc.exit_after_idle_s > 0;
       }},
  };
  for (; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool has_value = false;
    if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      has_value = true;
    }
    if (name == "--help" || name == "-h") {
      sc.help = true;
      continue;
    }
    if (name == "--modem" || name == "--clock-invalid" || name == "--unpaced") {
      if (has_value) {
        error = "option " + name + " takes no value";
        return sc;
      }
      if (name == "--modem") sc.modem = true;
      if (name == "--clock-invalid") sc.clock_valid = false;
      if (name == "--unpaced") sc.unpaced = true;
      continue;
    }
    auto it = with_value.find(name);
    if (it == with_value.end()) {
      error = "unknown option '" + args[i] + "'";
      return sc;
    }
    if (!has_value) {
      if (i + 1 >= args.size()) {
        error = "option " + name + " needs a value";
        return sc;
      }
      value = args[++i];
    }
    if (!it->second(value)) {
      if (error.empty()) error = "bad value '" + value + "' for " + name;
      return sc;
    }
  }
  if (modem_option && !sc.modem) {
    error = "modem options need --modem";
  } else if (sc.modem && sc.generation == Scenario::Generation::Legacy) {
    error = "--modem serves a v5 server only";
  } else if (sc.legacy_baud != 9600 && sc.generation != Scenario::Generation::Legacy) {
    error = "--baud sets a legacy server's speed";
  } else if (!sc.endless.empty() && sc.modem) {
    error = "--endless serves no server and no modem";
  } else if (sc.write_pointer >= sc.buffer_size || sc.read_pointer >= sc.buffer_size) {
    error = "pointers must be below --buffer-size";
  } else if (sc.endless.empty() && sc.generation == Scenario::Generation::V5 &&
             sc.readings > sc.buffer_size - 1) {
    // One slot always stays free, so that a full store is told from an empty one.
    error = "--readings " + std::to_string(sc.readings) + " is more than a store of " +
            std::to_string(sc.buffer_size) + " slots holds (at most " +
            std::to_string(sc.buffer_size - 1) + "); give --buffer-size " +
            std::to_string(sc.readings + 1) + " or more";
  }
  return sc;
}

std::string scenario_help(const std::string& program) {
  return "Usage: " + program +
         " [OPTION]...\n"
         "Simulates a probe server (and optionally a cell modem in front of it) on a\n"
         "pseudo-terminal, linked as comN in the settings folder so the download program\n"
         "finds it as port N. Serves in real time at the speed the client sets, until\n"
         "killed or idle for --exit-after-idle seconds.\n"
         "\n"
         "Server:\n"
         "  --generation legacy|v5   protocol generation (default v5)\n"
         "  --readings N             records in the store (default 40; legacy: 4 a block;\n"
         "                           v5: at most --buffer-size - 1)\n"
         "  --records realistic|clean  realistic: every kind of entry, some low batteries\n"
         "                           and bad checks, the second probe missing rounds 40 to 47\n"
         "                           and the last one silent from round 70; clean: good\n"
         "                           readings only, from every probe in every round\n"
         "  --seed N                 seed of the generated records (default 1)\n"
         "  --buffer-size N          v5 store slots (default 1000)\n"
         "  --write-pointer N        v5 slot written next (default: after the records)\n"
         "  --read-pointer N         v5 slot fetched next (default: first new record)\n"
         "  --new-readings N         v5: the status counts N new readings when that is more\n"
         "                           than the pointers' distance (with both pointers equal\n"
         "                           and N the buffer size: a full store); the stream then\n"
         "                           carries N frames\n"
         "  --clock 'YYYY-MM-DD HH:MM:SS'  server clock at start (default: computer's)\n"
         "  --clock-invalid          v5: the clock reads as not set until the client sets it\n"
         "  --turnaround SECONDS     pause between a request and its reply (default 0.02)\n"
         "  --baud 9600|56000        legacy: the server's speed at start, 56000 as a\n"
         "                           download cut short leaves it (default 9600)\n"
         "  --endless zeros|noise|5e  no server: a line that never goes quiet, sending\n"
         "                           zeros, random bytes (never a K) or start bytes 0x5E\n"
         "  --fault ITEM             fault plan item; repeat for more:\n" +
         fault_help() +
         "  ate0-ignored           modem: the first \"ATE0\" goes unanswered\n"
         "  echo-stays-on          modem: \"ATE0\" is answered OK but echo stays on\n"
         "\n"
         "Cell modem:\n"
         "  --modem                  put a cell modem in front of the (v5) server\n"
         "  --pin NNNN               the SIM needs this PIN (default: no PIN)\n"
         "  --cell connect|busy|no-carrier|error|silent  how a dial ends (default connect)\n"
         "  --cell-number NUMBER     only this number connects (default: any)\n"
         "  --dial-delay SECONDS     from ATD to its result (default 8)\n"
         "  --call-delay SECONDS     one-way delay of the call (default 0.9)\n"
         "\n"
         "Line and run:\n"
         "  --port N                 link comN to the pseudo-terminal (default 1); a comN\n"
         "                           link to a device that exists is left alone\n"
         "  --settings-dir DIR       folder of the link (default $XDG_CONFIG_HOME/RNQ7,\n"
         "                           or ~/.config/RNQ7)\n"
         "  --log FILE               at exit, write the requests received and the store\n"
         "                           as JSON\n"
         "  --exit-after-idle SECONDS  end after this long without a byte either way\n"
         "  --unpaced                bytes take no line time: replies and streams reach\n"
         "                           the client as fast as it reads them (turnarounds stay)\n"
         "  --help                   this text\n";
}

}  // namespace tavric::sim
