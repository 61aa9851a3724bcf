#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/form.h"
#include "app/launch.h"
#include "app/run.h"
#include "sim/modem.h"
#include "sim/v5_server.h"
#include "tests/app/run_fixture.h"
#include "tests/host/test_host.h"

namespace tavric::launchtest {

// The notes of a launch, kept in memory.
struct NoteLog : RunLog {
  void note(const std::string& text) override { notes.push_back(text); }
  bool has(const std::string& part) const {
    return std::any_of(notes.begin(), notes.end(),
                       [&](const std::string& n) { return n.find(part) != std::string::npos; });
  }
  std::vector<std::string> notes;
};

// A whole launch with command-line options on the test host: the platform the real
// program builds, over scripted parts in virtual time.
struct OptionLaunch {
  testhost::TestHost host;
  RunOptions options;
  NoteLog trace;
  std::ostringstream err;
  PortList* ports = nullptr;  // explains a port that would not open, when set
  std::unique_ptr<LaunchPlatform> launch;
  std::unique_ptr<DownloadRun> session;

  OptionLaunch() { host.settings.set("Port", "1"); }

  // The launch's download run, or `check` in its place (the status check).
  int run(std::function<std::optional<int>(DownloadRun&)> check = nullptr) {
    launch = std::make_unique<LaunchPlatform>(
        host.platform, options, trace, err, [](int n) { return "/dev/test" + std::to_string(n); },
        ports);
    session = std::make_unique<DownloadRun>(launch->platform());
    host.window.on_close = [this] { Form_Unload(*session); };
    Form_Load(launch->platform().window, launch->platform().settings);
    const std::optional<int> status = check ? check(*session) : tmr_Timer(*session);
    EXPECT_TRUE(status.has_value());
    return status.value_or(-1);
  }

  // Standard error, line by line.
  std::vector<std::string> err_lines() const {
    std::vector<std::string> lines;
    std::istringstream in(err.str());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // A line of standard error starts with `start`.
  bool said(const std::string& start) const {
    const auto lines = err_lines();
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.rfind(start, 0) == 0; });
  }
};

using runtest::v5_with;

// A v5 server behind a cell modem on port 1, its SIM locked by `pin` when given, and
// only `number` connecting when given.
struct ModemSetup {
  explicit ModemSetup(OptionLaunch& l, std::string pin = "", std::string number = "")
      : server(v5_with(6)), modem(server, modem_config(std::move(pin), std::move(number))) {
    l.host.line.attach(1, modem);
  }
  static sim::CellModem::Config modem_config(std::string pin, std::string number) {
    sim::CellModem::Config c;
    c.pin = std::move(pin);
    c.number = std::move(number);
    return c;
  }
  sim::V5Server server;
  sim::CellModem modem;
};

}  // namespace tavric::launchtest
