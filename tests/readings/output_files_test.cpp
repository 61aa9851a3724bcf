#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#include "readings/low_battery.h"
#include "readings/output_files.h"
#include "tests/host/test_host.h"

namespace tavric {
namespace {

namespace fs = std::filesystem;

const std::string kDumpHeader =
    "Probe ,RecNo,Date               ,T1,SM1,T2,SM2,T3,SM3,T4,SM4,T5,SM5,T6,SM6,Temp,Volts,"
    "PwrFail\r\n";
const std::string kProbeHeader =
    "Probe, Date               ,Temp1,Water%1,Temp2,Water%2,Temp3,Water%3,Temp4,Water%4,Temp5,"
    "Water%5,Temp6,Water%6,Volts\r\n";

struct OutputFolder : ::testing::Test {
  fs::path Dump(int i) {
    return host.output_dir / kDumpFolder / ("Dump" + std::to_string(100 + i).substr(1) + ".csv");
  }
  void Put(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
  }
  std::string Read(const fs::path& file) {
    return host.read_output(file.lexically_relative(host.output_dir));
  }
  void Run(const std::string& line = "") {
    output->PrepareOutputFiles();
    output->WriteDump(line);
    output->WriteProbe(line);
    output->CloseOutputFiles();
  }
  // The output of a launch of its own, with no fault recorded yet.
  void NewLaunch() { output.emplace(host.files, host.output_dir, nullptr); }

  testhost::TestHost host;
  std::optional<OutputFiles> output{std::in_place, host.files, host.output_dir, nullptr};
};

TEST_F(OutputFolder, HeadersOnceAndRotationByCopying) {
  output->CloseOutputFiles();  // what a run with nothing to fetch does with the files
  EXPECT_TRUE(fs::is_empty(host.output_dir));
  Run("1\r\n");
  Run("2\r\n");
  EXPECT_EQ(Read(Dump(0)) + Read(Dump(1)), kDumpHeader + "2\r\n" + kDumpHeader + "1\r\n");
  EXPECT_EQ(Read(host.output_dir / kProbeDataFile), kProbeHeader + "1\r\n2\r\n");
  EXPECT_EQ(output->OutputFault(), "");

  fs::remove(Dump(1));  // only 00 and 05
  Put(Dump(5), "5");
  Run();
  EXPECT_EQ(Read(Dump(1)) + "|" + Read(Dump(6)), kDumpHeader + "2\r\n|5");
  EXPECT_EQ(std::distance(fs::directory_iterator(Dump(0).parent_path()), {}), 3);

  for (int i = 0; i < 100; ++i) Put(Dump(i), std::to_string(i));
  Run();
  EXPECT_EQ(Read(Dump(0)), kDumpHeader);
  for (int i = 1; i < 100; ++i) EXPECT_EQ(Read(Dump(i)), std::to_string(i - 1));
}

TEST_F(OutputFolder, TheFirstFailureIsRecordedAndTheRunGoesOn) {
  host.files.fail("open", "Dump00", std::errc::permission_denied);
  host.files.fail("sync", "Probe Data", std::errc::no_space_on_device);
  Run("1\r\n");
  EXPECT_EQ(output->OutputFault(), Dump(0).string() + ": Permission denied");
  EXPECT_EQ(Read(host.output_dir / kProbeDataFile), kProbeHeader + "1\r\n");
  // Each file is synced before it is closed: a failing sync alone is recorded too.
  for (const fs::path& file : {Dump(0), host.output_dir / kProbeDataFile}) {
    host.files.clear_faults();
    host.files.fail("sync", file.filename().string());
    NewLaunch();
    Run();
    EXPECT_EQ(output->OutputFault(), file.string() + ": Input/output error");
  }
}

TEST(LowBatteries, ReportListsEachUnitOnceWithItsLowestVoltage) {
  LowBatteries report;
  // 2.2 V, the lowest battery code, is listed; lower values are no battery readings.
  for (auto [unit, volts] :
       {std::pair{17, 3.3F}, {17, 3.0F}, {17, 3.2F}, {5, 3.1F}, {9, 2.1F}, {0, 3.0F}, {4, 2.2F}}) {
    report.AddLowVolts(unit, volts);
  }
  EXPECT_EQ(report.LowBatteryText(),
            "The following units have low battery readings:\r17 (3.0V), 5 (3.1V), 4 (2.2V)");

  LowBatteries full;
  for (int unit = 1; unit <= 102; ++unit) full.AddLowVolts(unit, 3.0F);
  full.AddLowVolts(100, 2.5F);
  EXPECT_EQ(full.LowVoltCount(), 100);
  EXPECT_TRUE(full.LowBatteryText().ends_with(", 99 (3.0V), 100 (2.5V)"));
}

}  // namespace
}  // namespace tavric
