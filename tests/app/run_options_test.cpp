#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "app/run_options.h"
#include "tests/host/test_host.h"

namespace tavric {
namespace {

// The complaint for option `name` with `value`, empty when taken.
std::string complaint(std::string_view name, const std::string& value, RunOptions& o) {
  return apply_option(name, value, o);
}

TEST(RunOptions, PortAndSpeed) {
  RunOptions o;
  EXPECT_EQ(complaint("port", "7", o), "");
  EXPECT_EQ(o.port, 7);
  EXPECT_EQ(complaint("port", "32767", o), "");
  for (const char* bad : {"0", "32768", "99999999999", "-1", "3.5", "4abc", "", " 3"}) {
    EXPECT_EQ(complaint("port", bad, o),
              "--port: '" + std::string(bad) + "' is not a port number from 1 to 32767");
  }
  EXPECT_EQ(o.port, 32767);  // a bad value changes nothing

  EXPECT_EQ(complaint("speed", "HI", o), "");
  EXPECT_EQ(o.speed_hi, true);
  EXPECT_EQ(complaint("speed", "lo", o), "");
  EXPECT_EQ(o.speed_hi, false);
  EXPECT_EQ(complaint("speed", "fast", o), "--speed: 'fast' is neither lo nor hi");
}

TEST(RunOptions, OutputFolderMustBeAWritableFolder) {
  testhost::TestHost host;
  const auto dir = host.output_dir;
  std::ofstream(dir / "plain");
  RunOptions o;
  EXPECT_EQ(complaint("output", (dir / ".").string(), o), "");
  EXPECT_EQ(o.output, dir / "");
  EXPECT_EQ(complaint("output", (dir / "missing").string(), o),
            "--output: '" + (dir / "missing").string() + "' is not a folder");
  EXPECT_NE(complaint("output", (dir / "plain").string(), o), "");
  if (::geteuid() != 0) {  // root writes anywhere
    std::filesystem::create_directory(dir / "locked");
    ::chmod((dir / "locked").c_str(), 0500);
    EXPECT_NE(complaint("output", (dir / "locked").string(), o).find("cannot be written"),
              std::string::npos);
  }
}

TEST(RunOptions, CellNumberIsADialString) {
  RunOptions o;
  EXPECT_EQ(complaint("cell", "  +61 400 111-222  ", o), "");
  EXPECT_EQ(o.cell, "+61 400 111-222");
  for (const char* bad : {"", "   ", "none", "0400;ATH", "0400\r\nATZ", "+-"}) {
    EXPECT_EQ(complaint("cell", bad, o),
              "--cell: '" + std::string(bad) + "' is not a telephone number");
  }
}

TEST(RunOptions, PinFileHoldsFourDigitsAndThePinNeverShows) {
  testhost::TestHost host;
  const auto file = [&](const std::string& name, const std::string& text) {
    std::ofstream(host.output_dir / name) << text;
    return (host.output_dir / name).string();
  };
  RunOptions o;
  EXPECT_EQ(complaint("pin-file", file("good", " 1234\r\n"), o), "");
  EXPECT_EQ(o.pin, "1234");
  for (const char* text : {"", "123", "12345", "12a4", "12 34"}) {
    const std::string f = file("bad", text);
    EXPECT_EQ(complaint("pin-file", f, o), "--pin-file: '" + f + "' does not hold a four-digit PIN")
        << text;
  }
  const std::string missing = (host.output_dir / "missing").string();
  EXPECT_EQ(complaint("pin-file", missing, o),
            "--pin-file: cannot read '" + missing + "': No such file or directory");
  EXPECT_EQ(o.pin, "1234");

  o.unattended = true;
  o.port = 2;
  const std::string described = describe(o);
  EXPECT_EQ(described.find("1234"), std::string::npos);
  EXPECT_EQ(described, "--unattended --port 2 --pin-file '" + file("good", "1234") + "'");
}

TEST(RunOptions, TraceNeverLandsAmongTheOutputFiles) {
  RunOptions o;
  EXPECT_EQ(complaint("trace", "", o), "--trace: no file given");
  EXPECT_EQ(complaint("trace", "/tmp/a/../t.txt", o), "");
  EXPECT_EQ(o.trace, "/tmp/t.txt");
  EXPECT_EQ(check_trace_place("/data/t.txt", "/data"), "");
  EXPECT_EQ(check_trace_place("/data/Tavric Dumps/t.txt", "/data"),
            "--trace: '/data/Tavric Dumps/t.txt' lies in the dump folder");
  EXPECT_EQ(check_trace_place("/data/x/../Tavric Probe Data.csv", "/data/"),
            "--trace: '/data/x/../Tavric Probe Data.csv' is the probe data file");
}

}  // namespace
}  // namespace tavric
