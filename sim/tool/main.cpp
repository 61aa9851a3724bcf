// probe-server-sim: a simulated probe server (and cell modem) on a pseudo-terminal,
// for trying the download program without hardware.
#include <csignal>
#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "posix/locations.h"
#include "sim/port_link.h"
#include "sim/pty_line.h"
#include "sim/scenario.h"
#include "sim/scenario_devices.h"

namespace {

constexpr int kUsageError = 64;
volatile std::sig_atomic_t g_stop = 0;

void on_signal(int) {
  g_stop = 1;
}

tavric::LocalDateTime local_now() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tavric;
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const sim::Scenario sc = sim::parse_scenario(args, error);
  if (!error.empty()) {
    std::fprintf(stderr, "probe-server-sim: %s (see --help)\n", error.c_str());
    return kUsageError;
  }
  if (sc.help) {
    std::fputs(sim::scenario_help("probe-server-sim").c_str(), stdout);
    return 0;
  }
  try {
    sim::PtyLine line;
    sim::ScenarioDevices devices(sc, local_now());
    const std::filesystem::path folder =
        sc.settings_dir.empty() ? settings_dir(process_environment()) : sc.settings_dir;
    const std::filesystem::path link = folder / ("com" + std::to_string(sc.port));
    if (const std::string refused = sim::claim_port_link(link, line.device_path());
        !refused.empty()) {
      std::fprintf(stderr, "probe-server-sim: %s\n", refused.c_str());
      return 1;
    }

    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);

    line.set_unpaced(sc.unpaced);
    line.attach(devices.front());
    const MonoTime start = line.now();
    if (!sc.endless.empty()) {
      std::printf("probe-server-sim: serving endless %s on %s\n", sc.endless.c_str(),
                  line.device_path().c_str());
    } else {
      std::printf("probe-server-sim: serving a %s server%s on %s\n",
                  sc.generation == sim::Scenario::Generation::Legacy ? "legacy" : "v5",
                  sc.modem ? " behind a cell modem" : "", line.device_path().c_str());
    }
    std::printf("probe-server-sim: %s -> %s (port %d)\n", link.c_str(), line.device_path().c_str(),
                sc.port);
    std::fflush(stdout);

    const MonoTime idle = seconds_f(sc.exit_after_idle_s);
    line.serve([&] {
      if (g_stop != 0) return true;
      return sc.exit_after_idle_s > 0 && line.now() - line.last_activity() >= idle;
    });

    sim::release_port_link(link, line.device_path());
    if (!sc.log_file.empty()) {
      std::ofstream out(sc.log_file);
      out << devices.log_json(start, line.now());
      if (!out) {
        std::fprintf(stderr, "probe-server-sim: cannot write %s\n", sc.log_file.c_str());
        return 1;
      }
    }
    std::printf("probe-server-sim: stopped\n");
    return 0;
  } catch (const std::exception& ex) {
    std::fprintf(stderr, "probe-server-sim: %s\n", ex.what());
    return 1;
  }
}
