#include <gtest/gtest.h>

#include <fstream>

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

std::string DumpName(int i) {
  char name[16];
  std::snprintf(name, sizeof name, "Dump%02d.csv", i);
  return std::string("Tavric Dumps/") + name;
}

class OutputFilesTest : public ::testing::Test {
 protected:
  void Put(const std::string& relative, const std::string& text) {
    fs::create_directories((host.output_dir / relative).parent_path());
    std::ofstream(host.output_dir / relative, std::ios::binary) << text;
  }
  bool Exists(const std::string& relative) { return fs::exists(host.output_dir / relative); }
  std::string Read(const std::string& relative) { return host.read_output(relative); }

  testhost::TestHost host;
  Session s{host.platform};
};

TEST_F(OutputFilesTest, FirstRunCreatesTheFolderAndBothHeaders) {
  EXPECT_EQ(kDumpHeader.size(), 93U + 2);
  EXPECT_EQ(kProbeHeader.size(), 116U + 2);
  PrepareOutputFiles(s);
  WriteDump(s, "d\r\n");
  WriteProbe(s, "p\r\n");
  CloseOutputFiles(s);
  EXPECT_EQ(Read(DumpName(0)), kDumpHeader + "d\r\n");
  EXPECT_EQ(Read("Tavric Probe Data.csv"), kProbeHeader + "p\r\n");
  EXPECT_FALSE(Exists(DumpName(1)));
  EXPECT_EQ(s.OutputFault, "");
  EXPECT_EQ(s.DumpFile, nullptr);

  // The next run rotates, and the probe data file gets no second header.
  PrepareOutputFiles(s);
  WriteProbe(s, "q\r\n");
  CloseOutputFiles(s);
  EXPECT_EQ(Read(DumpName(1)), kDumpHeader + "d\r\n");
  EXPECT_EQ(Read(DumpName(0)), kDumpHeader);
  EXPECT_EQ(Read("Tavric Probe Data.csv"), kProbeHeader + "p\r\nq\r\n");
}

TEST_F(OutputFilesTest, RotationWithAllHundredPresent) {
  for (int i = 0; i < 100; ++i) Put(DumpName(i), "old " + std::to_string(i));
  PrepareOutputFiles(s);
  CloseOutputFiles(s);
  EXPECT_EQ(Read(DumpName(0)), kDumpHeader);
  for (int i = 1; i < 100; ++i) EXPECT_EQ(Read(DumpName(i)), "old " + std::to_string(i - 1));
  EXPECT_FALSE(Exists(DumpName(100)));
}

TEST_F(OutputFilesTest, RotationWithGaps) {
  Put(DumpName(0), "old 0");
  Put(DumpName(5), "old 5");
  PrepareOutputFiles(s);
  CloseOutputFiles(s);
  EXPECT_EQ(Read(DumpName(1)), "old 0");
  EXPECT_EQ(Read(DumpName(6)), "old 5");
  EXPECT_FALSE(Exists(DumpName(5)));
  int count = 0;
  for (const auto& e : fs::directory_iterator(host.output_dir / "Tavric Dumps")) {
    (void)e;
    ++count;
  }
  EXPECT_EQ(count, 3);
}

TEST_F(OutputFilesTest, ClosingWithoutPreparingTouchesNothing) {
  CloseOutputFiles(s);
  EXPECT_TRUE(fs::is_empty(host.output_dir));
  EXPECT_EQ(s.OutputFault, "");
}

TEST_F(OutputFilesTest, FailuresAreRecordedFirstOneWinsAndTheRestGoesOn) {
  host.files.fail("open", "Dump00", std::errc::permission_denied);
  host.files.fail("sync", "Probe Data", std::errc::no_space_on_device);
  PrepareOutputFiles(s);
  WriteDump(s, "lost\r\n");
  WriteProbe(s, "kept\r\n");
  CloseOutputFiles(s);
  EXPECT_EQ(s.OutputFault, (host.output_dir / DumpName(0)).string() + ": Permission denied");
  EXPECT_EQ(Read("Tavric Probe Data.csv"), kProbeHeader + "kept\r\n");

  for (const char* op : {"write", "syncdir"}) {
    Session t{host.platform};
    host.files.clear_faults();
    host.files.fail(op, "Tavric Dumps", std::errc::io_error);
    PrepareOutputFiles(t);
    CloseOutputFiles(t);
    EXPECT_NE(t.OutputFault.find("Tavric Dumps"), std::string::npos) << op;
    EXPECT_NE(t.OutputFault.find(": Input/output error"), std::string::npos) << op;
  }
}

TEST_F(OutputFilesTest, DumpFolderThatIsAFile) {
  Put("Tavric Dumps", "not a folder");
  PrepareOutputFiles(s);
  CloseOutputFiles(s);
  EXPECT_EQ(s.OutputFault, (host.output_dir / "Tavric Dumps").string() + ": File exists");
  EXPECT_EQ(Read("Tavric Probe Data.csv"), kProbeHeader);
}

TEST_F(OutputFilesTest, LowBatteryListKeepsEachUnitsLowestVoltage) {
  AddLowVolts(s, 17, 3.3F);
  AddLowVolts(s, 17, 3.0F);
  AddLowVolts(s, 17, 3.2F);
  AddLowVolts(s, 5, 3.1F);
  AddLowVolts(s, 9, 2.1F);  // not a battery reading
  AddLowVolts(s, 0, 3.0F);  // listed, never reported
  ShowLowBatteryReport(s);
  ASSERT_EQ(host.dialogs.messages().size(), 1U);
  EXPECT_EQ(host.dialogs.messages()[0].title, "Low Batteries");
  EXPECT_EQ(host.dialogs.messages()[0].text,
            "The following units have low battery readings:\r17 (3.0V), 5 (3.1V)");
  EXPECT_EQ(s.LowVoltCount, 3);

  Session quiet{host.platform};
  AddLowVolts(quiet, 0, 3.0F);
  ShowLowBatteryReport(quiet);
  EXPECT_EQ(host.dialogs.messages().size(), 1U);
}

TEST_F(OutputFilesTest, LowBatteryListHoldsAHundredUnits) {
  for (int unit = 1; unit <= 102; ++unit) AddLowVolts(s, unit, 3.0F);
  EXPECT_EQ(s.LowVoltCount, 100);
  EXPECT_EQ(s.LowVoltProbe[100], 102);  // the spare slot, overwritten by each newcomer
  const std::string text = LowBatteryText(s);
  EXPECT_NE(text.find("\r1 (3.0V), 2 (3.0V)"), std::string::npos);
  EXPECT_NE(text.find(", 100 (3.0V)"), std::string::npos);
  EXPECT_EQ(text.find("101 ("), std::string::npos);
  AddLowVolts(s, 100, 2.5F);  // a listed unit is still updated
  EXPECT_NE(LowBatteryText(s).find(", 100 (2.5V)"), std::string::npos);
}

}  // namespace
}  // namespace tavric
