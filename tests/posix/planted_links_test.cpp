#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "posix/posix_file_system.h"
#include "readings/kept_lines.h"
#include "readings/output_files.h"
#include "readings/output_folder.h"
#include "report/chart_page.h"
#include "session/exit_status.h"
#include "sim/v5_server.h"
#include "tests/app/run_fixture.h"

namespace tavric {
namespace {

namespace fs = std::filesystem;
using runtest::Launch;
using runtest::v5_with;

constexpr const char* kVictimText = "someone else's file\n";

std::string content(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

struct Outcome {
  int status;
  bool store_cleared;
};

// A run of 5 readings on an output folder where `name` was planted as a link (symbolic
// or hard) to a file outside it; the victim must come through untouched.
Outcome run_with_link(const std::string& name, bool hard, bool earlier_run = false) {
  Launch l;
  sim::V5Server server(v5_with(5));
  l.host.line.attach(1, server);
  const fs::path victim =
      l.host.output_dir.parent_path() / ("victim-" + l.host.output_dir.filename().string());
  std::ofstream(victim, std::ios::binary) << kVictimText;
  fs::create_directory(l.host.output_dir / kDumpFolder);
  if (earlier_run) {
    std::ofstream(l.host.output_dir / kProbeDataFile, std::ios::binary) << "Probe, Date\r\n";
  }
  const fs::path planted = l.host.output_dir / name;
  fs::remove(planted);
  if (hard) {
    fs::create_hard_link(victim, planted);
  } else {
    fs::create_symlink(victim, planted);
  }
  const int status = l.run();
  EXPECT_TRUE(content(victim) == kVictimText) << name << (hard ? " (hard link)" : "");
  fs::remove(victim);
  const Outcome outcome{status, server.clear_count() == 1};
  // The run either replaced the name by a file of its own or gave up and kept the store.
  EXPECT_TRUE(status == kExitCompleted || status == kExitOutputFailed) << name << ": " << status;
  EXPECT_EQ(outcome.store_cleared, status == kExitCompleted) << name;
  return outcome;
}

TEST(PlantedLinks, NoFileIsWrittenThroughALinkPlantedUnderAnyName) {
  const std::string probe = kProbeDataFile;
  const std::string kept = kKeptLinesFile;
  const std::string page = report::kChartPageFile;
  const std::string dumps = kDumpFolder;
  for (const std::string& name :
       {page + ".new", kept + ".new", dumps + "/Dump00.csv", dumps + "/Dump01.csv", probe, kept,
        page, std::string(kFolderLockFile)}) {
    for (const bool hard : {false, true}) run_with_link(name, hard);
  }
  // A file written afresh replaces the link; one that is appended to is refused.
  EXPECT_EQ(run_with_link(dumps + "/Dump00.csv", false).status, kExitCompleted);
  EXPECT_EQ(run_with_link(page, true).status, kExitCompleted);
  EXPECT_EQ(run_with_link(probe, false).status, kExitOutputFailed);
  EXPECT_EQ(run_with_link(probe, true, true).status, kExitOutputFailed);
}

// A temporary left by a run killed between making it and renaming it is removed by its
// name, never opened, even as a link; one of a process still running is left alone.
TEST(PlantedLinks, StaleTemporariesOfEndedRunsAreRemovedNeverOpened) {
  testhost::TestHost host;
  const fs::path victim = host.output_dir.string() + "-victim";
  std::ofstream(victim, std::ios::binary) << kVictimText;
  const fs::path stale = host.output_dir / ".Dump00.csv.999999999-0.tmp";
  const fs::path running =
      host.output_dir / (".Dump00.csv." + std::to_string(::getppid()) + "-0.tmp");
  fs::create_symlink(victim, stale);
  std::ofstream(running, std::ios::binary) << "";
  PosixFileSystem files;
  std::error_code error;
  auto out = files.open(host.output_dir / "Dump00.csv", OpenMode::Replace, error);
  ASSERT_TRUE(out) << error.message();
  EXPECT_FALSE(out->write("new\r\n"));
  EXPECT_FALSE(out->close());
  EXPECT_FALSE(fs::exists(fs::symlink_status(stale)));
  EXPECT_TRUE(fs::exists(running));
  EXPECT_EQ(content(victim), kVictimText);
  EXPECT_EQ(content(host.output_dir / "Dump00.csv"), "new\r\n");
  fs::remove(victim);
}

// The dump folder itself planted as a link to a folder elsewhere: nothing lands there.
TEST(PlantedLinks, ADumpFolderThatIsALinkIsNotEntered) {
  Launch l;
  sim::V5Server server(v5_with(5));
  l.host.line.attach(1, server);
  const fs::path elsewhere = l.host.output_dir.string() + "-elsewhere";
  fs::create_directory(elsewhere);
  std::ofstream(elsewhere / "Dump00.csv", std::ios::binary) << kVictimText;
  fs::create_directory_symlink(elsewhere, l.host.output_dir / kDumpFolder);

  EXPECT_EQ(l.run(), kExitOutputFailed);
  EXPECT_EQ(server.clear_count(), 0);
  EXPECT_EQ(content(elsewhere / "Dump00.csv"), kVictimText);
  EXPECT_FALSE(fs::exists(elsewhere / "Dump01.csv"));
  fs::remove_all(elsewhere);
}

}  // namespace
}  // namespace tavric
