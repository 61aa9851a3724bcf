#include <gtest/gtest.h>

#include <sstream>

#include "app/chart_page_step.h"
#include "app/command_line.h"
#include "readings/output_folder.h"
#include "report/chart_page.h"
#include "session/exit_status.h"
#include "sim/v5_server.h"
#include "tests/app/run_fixture.h"

// The page as a whole, from small files: what it says, how it is written, and how the
// run and the command line bring it about.
namespace tavric::report {
namespace {

constexpr const char* kHeader =
    "Probe, Date               ,Temp1,Water%1,Temp2,Water%2,Temp3,Water%3,Temp4,Water%4,Temp5,"
    "Water%5,Temp6,Water%6,Volts\r\n";

std::string probe_line(int probe, const char* time, const char* volts) {
  char text[200];
  std::snprintf(text, sizeof text,
                "%05d, 2024/05/01 %s, 18.0, 025.00, 18.0, 030.00, 18.0, 031.00, 18.0, 032.00, "
                "18.0, 033.00, 18.0, 034.00,%s\r\n",
                probe, time, volts);
  return text;
}

void store(testhost::TestHost& host, const std::filesystem::path& relative,
           const std::string& text) {
  std::error_code e;
  host.files.create_directory((host.output_dir / relative).parent_path());
  host.files.open(host.output_dir / relative, OpenMode::Replace, e)->write(text);
}

LocalDateTime noon() {
  return LocalDateTime{2024, 5, 2, 12, 0, 0};
}

TEST(ChartPage, SaysWhatTheFilesHold) {
  testhost::TestHost host;
  store(host, "Tavric Probe Data.csv",
        std::string(kHeader) + probe_line(11, "10:00:00", "3.6") +
            "01234, 2024/05/01 10:00:00, 18.0, 025\r\n" +  // cut short, ended by a later run
            probe_line(11, "10:15:00", "3.6") + probe_line(22, "10:00:00", "3.1") + "garbage\r\n" +
            probe_line(22, "10:15:00", "3.1") + probe_line(22, "10:15:00", "3.1") +  // repeated
            // Hostile text: markup, a script, quotes, invalid UTF-8, NUL bytes, a long line.
            "<script>alert(1)</script>, \"quoted\" </td>\r\n" + std::string("\xff\xfe\0\0x", 5) +
            "\r\n" + std::string(70000, '<') + "\r\n" + "00022, 2024/05/01 10:30");
  store(host, "Tavric Dumps/Dump00.csv",
        "Probe ,RecNo,Date               ,T1\r\n"
        "22,  5 ,2024/05/01 10:15:00,18.00,31.00,18.00,30.00,18.00,30.00,18.00,30.00,18.00,30.00,"
        "18.00,30.00,21.50,3.1,,\r\n!  22 ,CRC error\r\n?  22 ,Invalid data  7 \r\n"
        "!  22 ,Probe settings\r\n");

  const ChartPageOutcome outcome = WriteChartPage(host.files, host.output_dir, noon());
  EXPECT_EQ(outcome.failure, "");
  EXPECT_EQ(outcome.readings, 5U);  // lines, the repeated one too
  EXPECT_EQ(outcome.lines_skipped, 6U);
  EXPECT_EQ(outcome.probes, 2U);
  const std::string page = host.read_output(kChartPageFile);
  EXPECT_EQ(page.size(), outcome.bytes);
  EXPECT_FALSE(host.files.is_regular_file(host.output_dir / "Tavric Probe Data.html.new"));
  const std::vector<std::string> sayings = {
      "4 readings of 2 probes; <strong class=\"bad\">1 line repeats a reading</strong>",
      "6 lines do not read as a reading and were skipped</strong> (lines 3, 6, 9, 10, 11, …)",
      "<span id=\"low-batteries\">22 (3.1V)</span>",
      "1 CRC error and 1 invalid record in the dumps, from the last run",
      "the newest dump (Dump00.csv) holds 1 reading, the newest taken 2024/05/01 10:15:00",
      "They cover 2024/05/01 10:15:00 to 2024/05/01 10:15:00 (1 dump)",
      "3.1 V <span class=\"marker\">▼ low</span>",
      "no reading in the last run",  // probe 11
      "Page written</dt><dd>2024/05/02 12:00:00",
      // Probe 22's ambient line: one point, 21.5 °C.
      "[[" + std::to_string(seconds_since_2000({2024, 5, 1, 10, 15, 0})) + "],[2150]]",
  };
  for (const std::string& said : sayings) {
    EXPECT_NE(page.find(said), std::string::npos) << said;
  }
  for (const char* kept_out : {"alert(1)", "quoted", "\xff", "<<<"}) {
    EXPECT_EQ(page.find(kept_out), std::string::npos) << kept_out;
  }
  EXPECT_EQ(page.find('\0'), std::string::npos);
  EXPECT_NE(page.find("Dygraph"), std::string::npos);  // the library is inlined
  EXPECT_EQ(page.find("src=\"http"), std::string::npos);
}

TEST(ChartPage, NoProbeDataYet) {
  testhost::TestHost host;
  EXPECT_EQ(WriteChartPage(host.files, host.output_dir, noon()).failure, "");
  EXPECT_NE(host.read_output(kChartPageFile).find("is not in this folder yet"), std::string::npos);
  store(host, "Tavric Probe Data.csv", kHeader);
  EXPECT_EQ(WriteChartPage(host.files, host.output_dir, noon()).failure, "");
  EXPECT_NE(host.read_output(kChartPageFile).find("holds no reading yet"), std::string::npos);
}

TEST(ChartPage, AFailedWriteLeavesTheOldPage) {
  testhost::TestHost host;
  store(host, kChartPageFile, "old page");
  host.files.fail("write", ".html.new", std::errc::no_space_on_device);
  const ChartPageOutcome outcome = WriteChartPage(host.files, host.output_dir, noon());
  EXPECT_NE(outcome.failure.find("Tavric Probe Data.html: "), std::string::npos);
  EXPECT_EQ(host.read_output(kChartPageFile), "old page");
  EXPECT_FALSE(host.files.is_regular_file(host.output_dir / "Tavric Probe Data.html.new"));
}

// After a run that brought readings the page is there; one that cannot be written is
// said on the event line and in the trace, and the run's status stays.
TEST(ChartPage, WrittenAfterARun) {
  for (const bool page_fails : {false, true}) {
    struct Notes : RunLog {
      void note(const std::string& text) override { all += text + "\n"; }
      std::string all;
    } trace;
    runtest::Launch l(&trace);
    if (page_fails) l.host.files.fail("rename", kChartPageFile);
    sim::V5Server::Config c;
    c.records = runtest::clean_records(12);
    c.write_pointer = 12;
    sim::V5Server server(c);
    l.host.line.attach(1, server);
    EXPECT_EQ(l.run(), kExitCompleted);
    EXPECT_EQ(l.host.files.is_regular_file(l.host.output_dir / kChartPageFile), !page_fails);
    EXPECT_EQ(l.shown("Chart page not written: " + path_text(l.host.output_dir / kChartPageFile) +
                      ": Input/output error"),
              page_fails);
    EXPECT_NE(trace.all.find(page_fails ? "not written: " : "written: 12 readings of"),
              std::string::npos);
  }
}

TEST(ChartPage, OnDemand) {
  const CommandLine command = parse_command_line({"--report", "--output", "/tmp"});
  EXPECT_TRUE(command.options.report);
  EXPECT_EQ(describe(command.options),
            "--report --output '" +
                path_text(std::filesystem::absolute("/tmp").lexically_normal()) + "'");

  testhost::TestHost host;
  struct Silent : RunLog {
    void note(const std::string&) override {}
  } trace;
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(WriteChartPageNow(host.files, host.output_dir, host.clock, trace, out, err),
            kExitCompleted);
  EXPECT_NE(out.str().find("chart page written: "), std::string::npos);
  EXPECT_TRUE(host.files.is_regular_file(host.output_dir / kChartPageFile));

  // While a run holds the folder the page is left to it.
  host.files.fail("lock", kFolderLockFile, std::errc::resource_unavailable_try_again);
  EXPECT_EQ(WriteChartPageNow(host.files, host.output_dir, host.clock, trace, out, err),
            kExitOutputFailed);
  EXPECT_NE(err.str().find("a run is using the output folder"), std::string::npos);
}

}  // namespace
}  // namespace tavric::report
