#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "session/exit_status.h"
#include "tests/robustness/rig.h"

namespace tavric::robustness {
namespace {

// Runs scenarios, keeps count, and collects every broken invariant with its scenario.
struct Matrix {
  explicit Matrix(const char* name) : name(name) {}
  ~Matrix() {
    std::printf("[ matrix   ] %s: %d runs, %zu violations, %d kept the store\n", name, runs,
                violations.size(), kept);
  }

  Outcome add(const Scenario& sc, const std::string& label) {
    const Outcome out = run(sc);
    ++runs;
    if (!out.cleared) ++kept;
    if (!out.violation.empty()) {
      violations.push_back(std::string(path_name(sc.path)) + " store " + std::to_string(sc.store) +
                           ", " + label + ": " + out.violation);
    }
    return out;
  }

  const char* name;
  int runs = 0;
  int kept = 0;
  std::vector<std::string> violations;
};

// The undisturbed run of a path, which must fetch everything and clear the store.
Outcome baseline(Matrix& m, Path path, int store) {
  Scenario sc;
  sc.path = path;
  sc.store = store;
  const Outcome out = m.add(sc, "no fault");
  EXPECT_EQ(out.status, kExitCompleted) << path_name(path);
  EXPECT_TRUE(out.cleared) << path_name(path);
  return out;
}

std::set<int> run_of(int first, int length) {
  std::set<int> s;
  for (int i = 0; i < length; ++i) s.insert(first + i);
  return s;
}

using PlanEdit = std::function<void(sim::FaultPlan&, int)>;

// Each request fault alone at request n, and four in a row from n: enough to fail the
// exchange while the server answers again afterwards.
const std::vector<std::pair<std::string, PlanEdit>>& request_faults() {
  static const std::vector<std::pair<std::string, PlanEdit>> faults = {
      {"silent", [](sim::FaultPlan& p, int n) { p.silent = {n}; }},
      {"noise", [](sim::FaultPlan& p, int n) { p.noise = {n}; }},
      {"bad check", [](sim::FaultPlan& p, int n) { p.bad_check = {n}; }},
      {"status 0", [](sim::FaultPlan& p, int n) { p.status_0 = {n}; }},
      {"bad end", [](sim::FaultPlan& p, int n) { p.bad_end = {n}; }},
      {"wrong echo", [](sim::FaultPlan& p, int n) { p.wrong_echo = {n}; }},
      {"foreign address", [](sim::FaultPlan& p, int n) { p.foreign_address = {n}; }},
      {"wrong block", [](sim::FaultPlan& p, int n) { p.wrong_block = {n}; }},
      {"cut short", [](sim::FaultPlan& p, int n) { p.cut_short = {n}; }},
      {"4 silent", [](sim::FaultPlan& p, int n) { p.silent = run_of(n, 4); }},
      {"4 bad checks", [](sim::FaultPlan& p, int n) { p.bad_check = run_of(n, 4); }},
      {"4 wrong blocks", [](sim::FaultPlan& p, int n) { p.wrong_block = run_of(n, 4); }},
      {"4 cut short", [](sim::FaultPlan& p, int n) { p.cut_short = run_of(n, 4); }},
  };
  return faults;
}

// The end byte is the legacy frame's only; command echo and address the v5 frame's.
bool applies(const std::string& fault, Path path) {
  const bool legacy = path == Path::LegacyLo || path == Path::LegacyHi;
  if (fault == "bad end") return legacy;
  if (fault == "wrong echo" || fault == "foreign address") return !legacy;
  return true;
}

const std::vector<std::pair<std::string, PlanEdit>>& frame_faults() {
  static const std::vector<std::pair<std::string, PlanEdit>> faults = {
      {"damaged frame", [](sim::FaultPlan& p, int n) { p.damaged_frames = {n}; }},
      {"dropped frame", [](sim::FaultPlan& p, int n) { p.dropped_frames = {n}; }},
      {"stream breaks after", [](sim::FaultPlan& p, int n) { p.stream_breaks_after = n; }},
      {"frames damaged from", [](sim::FaultPlan& p, int n) { p.damaged_frames = run_of(n, 64); }},
  };
  return faults;
}

TEST(FaultMatrix, EveryFaultOfThePlanAtEveryExchange) {
  Matrix m("server faults");
  for (const Path path : kAllPaths) {
    for (const int store : {0, 1}) {
      const Outcome clean = baseline(m, path, store);
      Scenario sc;
      sc.path = path;
      sc.store = store;
      for (const auto& [name, edit] : request_faults()) {
        if (!applies(name, path)) continue;
        for (int n = 1; n <= clean.requests + 4; ++n) {
          sc.faults = {};
          edit(sc.faults, n);
          const Outcome out = m.add(sc, name + " at request " + std::to_string(n));
          // One bad reply costs a retry, not the run; except where a legacy server has
          // switched to 56000 bit/s behind a damaged answer and no longer hears 9600.
          const bool speed_change = path == Path::LegacyHi && n == 4 && name != "silent";
          if (name.find("4 ") != 0 && !speed_change) {
            EXPECT_TRUE(out.cleared) << path_name(path) << " " << name << " " << n;
          }
          // The program asks any unit to answer: another's address costs no retry.
          if (name == "foreign address") {
            EXPECT_EQ(out.requests, clean.requests) << path_name(path) << " " << n;
          }
        }
      }
      for (const auto& [name, edit] : frame_faults()) {
        for (int n = 1; n <= clean.frames; ++n) {
          sc.faults = {};
          edit(sc.faults, n);
          // A stream that loses frames is made whole from single fetches.
          const Outcome out = m.add(sc, name + " " + std::to_string(n));
          EXPECT_TRUE(out.cleared) << path_name(path) << " " << name << " " << n;
        }
      }
      if (path == Path::LegacyHi) {
        // The check at 56000 bit/s fails, and the blocks come at 9600 instead.
        sc.faults = {};
        sc.faults.ignores_speed_change = true;
        EXPECT_TRUE(m.add(sc, "server ignores the speed change").cleared);
      }
    }
  }
  EXPECT_EQ(m.violations, std::vector<std::string>{});
}

TEST(FaultMatrix, LinkDiesAtEveryExchange) {
  Matrix m("link dies");
  for (const Path path : kAllPaths) {
    for (const int store : {0, 1}) {
      const Outcome clean = baseline(m, path, store);
      Scenario sc;
      sc.path = path;
      sc.store = store;
      for (int n = 1; n <= clean.requests; ++n) {
        sc.faults = {};
        sc.faults.dies_after = n;
        const Outcome out = m.add(sc, "dies after request " + std::to_string(n));
        // Only the clearing itself may be the last request a dying server hears.
        if (n < clean.requests) {
          EXPECT_NE(out.status, kExitCompleted) << path_name(path) << n;
        }
      }
    }
  }
  EXPECT_EQ(m.violations, std::vector<std::string>{});
}

TEST(FaultMatrix, OutputFolderFailsAtEveryFileStep) {
  Matrix m("file steps");
  for (const Path path : kAllPaths) {
    for (const int store : {0, 1}) {
      Scenario sc;
      sc.path = path;
      sc.store = store;
      const Outcome clean = m.add(sc, "no fault");
      ASSERT_TRUE(clean.cleared) << path_name(path);
      for (const auto mode : {StepFaultFiles::Mode::Once, StepFaultFiles::Mode::FromThenOn}) {
        for (int k = 1; k <= clean.file_steps; ++k) {
          sc.file_step = k;
          sc.file_mode = mode;
          const std::string label =
              (mode == StepFaultFiles::Mode::Once ? "file step " : "unwritable from step ") +
              std::to_string(k);
          const Outcome out = m.add(sc, label);
          if (!out.cleared) {
            EXPECT_EQ(out.status, kExitOutputFailed) << label;
          }
        }
      }
    }
  }
  EXPECT_EQ(m.violations, std::vector<std::string>{});
}

}  // namespace
}  // namespace tavric::robustness
