#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/form.h"
#include "app/run.h"
#include "sim/record_generator.h"
#include "sim/v5_server.h"
#include "tests/host/test_host.h"

namespace tavric::runtest {

// A whole launch on the test host: window loaded, unload wired, one run. The run's
// notes go to `log` when one is given: the run is made after the platform is complete,
// as the program makes it.
struct Launch {
  testhost::TestHost host;
  DownloadRun session;

  explicit Launch(RunLog* log = nullptr) : session(with_log(host, log)) {
    host.window.on_close = [this] { Form_Unload(session); };
    host.settings.set("Port", "1");
  }

  static Platform& with_log(testhost::TestHost& h, RunLog* log) {
    h.platform.log = log;
    return h.platform;
  }

  int run() {
    Form_Load(host.platform.window, host.platform.settings);
    const std::optional<int> status = tmr_Timer(session);
    EXPECT_TRUE(status.has_value());
    EXPECT_FALSE(host.dialogs.has_unused_answers());
    return status.value_or(-1);
  }

  std::vector<std::string> lines(const std::string& relative) const {
    std::vector<std::string> out;
    const std::string text = host.read_output(relative);
    std::size_t start = 0;
    while (start < text.size()) {
      const std::size_t end = text.find("\r\n", start);
      if (end == std::string::npos) {
        out.push_back(text.substr(start) + "<no line end>");
        break;
      }
      out.push_back(text.substr(start, end - start));
      start = end + 2;
    }
    return out;
  }
  std::vector<std::string> dump_lines() const { return lines("Tavric Dumps/Dump00.csv"); }
  std::vector<std::string> probe_lines() const { return lines("Tavric Probe Data.csv"); }

  std::vector<std::string> message_titles() const {
    std::vector<std::string> titles;
    for (const auto& m : host.dialogs.messages()) titles.push_back(m.title);
    return titles;
  }
  bool shown(const std::string& event) const {
    const auto& h = host.window.event_history();
    return std::find(h.begin(), h.end(), event) != h.end();
  }
};

// Kind-1 readings with good batteries: each gives one dump line and one probe line.
inline std::vector<sim::Record> clean_records(int count, std::uint64_t seed = 7) {
  sim::GeneratorOptions options;
  options.seed = seed;
  options.mix = sim::RecordMix::clean();
  return sim::RecordGenerator(options).take(count);
}

// A v5 server holding `readings` clean readings, all of them new.
inline sim::V5Server::Config v5_with(int readings) {
  sim::V5Server::Config c;
  c.records = clean_records(readings);
  c.write_pointer = readings;
  return c;
}

}  // namespace tavric::runtest
