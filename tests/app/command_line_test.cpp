#include <gtest/gtest.h>

#include <fstream>

#include "app/command_line.h"
#include "tests/host/test_host.h"

namespace tavric {
namespace {

// The window toolkit's own options, as the Linux program passes them on.
constexpr ShellOption kToolkitOptions[] = {{"platform", true}, {"reverse", false}};

CommandLine parse(const std::vector<std::string>& args) {
  return parse_command_line(args, kToolkitOptions);
}

// A file in a fresh folder holding `text`.
struct TextFile {
  explicit TextFile(const std::string& text) { std::ofstream(path()) << text; }
  std::string path() const { return (host.output_dir / "f").string(); }
  std::string dir() const { return host.output_dir.string(); }
  testhost::TestHost host;
};

TEST(CommandLine, EveryOptionTogether) {
  const TextFile pin(" 9753\r\n");
  // Qt's own options pass through for the application object.
  const CommandLine c =
      parse({"--unattended", "--port", "4", "--speed=HI", "--output", pin.dir() + "/new/.",
             "--cell", " +61 400 111-222 ", "--pin-file", pin.path(), "--trace", "/tmp/a/../t.txt",
             "--folder-wait", "60", "-platform", "offscreen", "-reverse"});
  ASSERT_EQ(c.action, CommandLine::Action::Run) << c.text;
  EXPECT_TRUE(c.options.unattended);
  EXPECT_EQ(c.options.port, 4);
  EXPECT_EQ(c.options.speed_hi, true);
  // A folder that is not there yet is taken: the run makes it.
  EXPECT_EQ(c.options.output, std::filesystem::path(pin.dir() + "/new/"));
  EXPECT_EQ(c.options.folder_wait_s, 60);
  EXPECT_EQ(c.options.cell, "+61 400 111-222");
  EXPECT_EQ(c.options.pin, "9753");
  EXPECT_EQ(c.options.trace, std::filesystem::absolute("/tmp/t.txt").lexically_normal());
  EXPECT_EQ(describe(c.options).find("9753"), std::string::npos);  // the PIN is never shown
  EXPECT_EQ(parse({"--speed", "lo"}).options.speed_hi, false);
}

// A port is a number, a Windows name that holds one, or a device by its path.
TEST(CommandLine, PortNamesAndChecks) {
  for (const char* name : {"COM7", "com7", "\\\\.\\COM7"}) {
    const CommandLine c = parse({"--port", name});
    EXPECT_EQ(c.options.port, 7) << name;
    EXPECT_FALSE(c.options.port_device) << name;
  }
  const CommandLine by_id = parse({"--port", "/dev/serial/by-id/usb-FTDI-if00", "--status"});
  ASSERT_EQ(by_id.action, CommandLine::Action::Run) << by_id.text;
  // As the system makes it absolute (on Windows, on the current drive).
  const std::string device =
      std::filesystem::absolute("/dev/serial/by-id/usb-FTDI-if00").lexically_normal().string();
  EXPECT_EQ(by_id.options.port_device, device);
  EXPECT_FALSE(by_id.options.port);
  EXPECT_TRUE(by_id.options.status);
  EXPECT_EQ(describe(by_id.options), "--status --port '" + device + "'");
  EXPECT_TRUE(parse({"--list-ports"}).options.list_ports);
}

TEST(CommandLine, HelpAndVersion) {
  for (const char* flag : {"--help", "-h"}) {
    const CommandLine c = parse({flag, "--port", "x"});  // help wins over a bad value
    EXPECT_EQ(c.action, CommandLine::Action::Help);
    EXPECT_EQ(c.text.rfind("Usage: probe-server-dump [options]\n", 0), 0U) << c.text;
    EXPECT_EQ(c.text.find("platform"), std::string::npos);  // Qt's options are not ours
  }
  EXPECT_EQ(parse({"--version"}).action, CommandLine::Action::Version);
}

// Each bad command line is told in one line that names what is wrong.
TEST(CommandLine, UsageErrors) {
  const std::string kNoPort =
      "is neither a port number from 1 to 32767 nor a device (COM7, /dev/ttyUSB0)";
  const TextFile letters("12a4");
  const std::string letters_path = letters.path();
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--prot", "3"}, "Unknown option 'prot'."},
      {{"--port"}, "Missing value after '--port'."},
      {{"--unattended", "now"}, "Unexpected argument 'now'."},
      {{"--unattended=yes"}, "Unexpected value after '--unattended'."},
      {{"--folder-wait", "-1"}, "--folder-wait: '-1' is not a number of seconds up to a week"},
      {{"--port", "32768"}, "--port: '32768' " + kNoPort},
      {{"--port", "4abc"}, "--port: '4abc' " + kNoPort},
      {{"--port", "COM0"}, "--port: 'COM0' " + kNoPort},
      {{"--status", "--list-ports"}, "--report, --list-ports and --status do not go together."},
      {{"--speed", "medium"}, "--speed: 'medium' is neither lo nor hi"},
      {{"--output", letters.path()}, "--output: '" + letters_path + "' is not a folder"},
      {{"--cell", "0400;ATH"}, "--cell: '0400;ATH' is not a telephone number"},
      {{"--pin-file", "/nonexistent"},
       "--pin-file: cannot read '/nonexistent': No such file or directory"},
      {{"--pin-file", letters.path()},
       "--pin-file: '" + letters_path + "' does not hold a four-digit PIN"},
      {{"--trace", ""}, "--trace: no file given"},
  };
  for (const auto& [args, text] : cases) {
    const CommandLine c = parse(args);
    EXPECT_EQ(c.action, CommandLine::Action::UsageError) << text;
    EXPECT_EQ(c.text, text);
  }
}

TEST(CommandLine, TraceNeverLandsAmongTheOutputFiles) {
  EXPECT_EQ(check_trace_place("/data/t.txt", "/data"), "");
  EXPECT_EQ(check_trace_place("/data/Tavric Dumps/t.txt", "/data"),
            "--trace: '/data/Tavric Dumps/t.txt' lies in the dump folder");
  EXPECT_EQ(check_trace_place("/data/x/../Tavric Probe Data.csv", "/data/"),
            "--trace: '/data/x/../Tavric Probe Data.csv' is the probe data file");
}

}  // namespace
}  // namespace tavric
