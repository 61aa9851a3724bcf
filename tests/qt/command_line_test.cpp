#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "qt/command_line.h"

namespace tavric::qt {
namespace {

CommandLine parse(QStringList args) {
  args.prepend(QStringLiteral("probe-server-dump"));
  return parse_command_line(args);
}

TEST(CommandLine, NoOptionsIsAPlainRun) {
  const CommandLine c = parse({});
  EXPECT_EQ(c.action, CommandLine::Action::Run);
  EXPECT_EQ(describe(c.options), "(none)");
}

TEST(CommandLine, EveryOptionTogether) {
  QTemporaryDir dir;
  QFile pin(dir.filePath(QStringLiteral("pin")));
  ASSERT_TRUE(pin.open(QIODevice::WriteOnly));
  pin.write("9753\n");
  pin.close();
  // Qt's own options pass through for the application object.
  const CommandLine c = parse({"--unattended", "--port", "4", "--speed=hi", "--output", dir.path(),
                               "--cell", "0400 111 222", "--pin-file", pin.fileName(), "--trace",
                               "/tmp/t.txt", "-platform", "offscreen", "-reverse"});
  ASSERT_EQ(c.action, CommandLine::Action::Run) << c.text;
  EXPECT_TRUE(c.options.unattended);
  EXPECT_EQ(c.options.port, 4);
  EXPECT_EQ(c.options.speed_hi, true);
  EXPECT_EQ(c.options.output, std::filesystem::path(dir.path().toStdString()));
  EXPECT_EQ(c.options.cell, "0400 111 222");
  EXPECT_EQ(c.options.pin, "9753");
  EXPECT_EQ(c.options.trace, "/tmp/t.txt");
}

TEST(CommandLine, HelpAndVersion) {
  for (const char* flag : {"--help", "-h"}) {
    const CommandLine c = parse({flag, "--port", "x"});  // help wins over a bad value
    EXPECT_EQ(c.action, CommandLine::Action::Help);
    EXPECT_EQ(c.text.rfind("Usage: probe-server-dump [options]\n", 0), 0U) << c.text;
    for (const char* part : {"--port <N>", "--speed <lo|hi>", "--output <DIR>", "--cell <NUMBER>",
                             "--pin-file <FILE>", "--unattended", "--trace <FILE>", "64   bad"}) {
      EXPECT_NE(c.text.find(part), std::string::npos) << part;
    }
    EXPECT_EQ(c.text.find("platform"), std::string::npos);
  }
  const CommandLine v = parse({"--version"});
  EXPECT_EQ(v.action, CommandLine::Action::Version);
  EXPECT_EQ(v.text, "probe-server-dump 1.0.0\n");
}

// Each bad command line is told in one line that names what is wrong.
TEST(CommandLine, UsageErrors) {
  const std::pair<QStringList, std::string> cases[] = {
      {{"--prot", "3"}, "Unknown option 'prot'."},
      {{"--port"}, "Missing value after '--port'."},
      {{"--port", "0"}, "--port: '0' is not a port number from 1 to 32767"},
      {{"--speed", "medium"}, "--speed: 'medium' is neither lo nor hi"},
      {{"--output", "/nonexistent"}, "--output: '/nonexistent' is not a folder"},
      {{"--cell", "ATH"}, "--cell: 'ATH' is not a telephone number"},
      {{"--pin-file", "/nonexistent"},
       "--pin-file: cannot read '/nonexistent': No such file or directory"},
      {{"--unattended", "now"}, "Unexpected argument 'now'."},
      {{"--unattended=yes"}, "Unexpected value after '--unattended'."},
  };
  for (const auto& [args, text] : cases) {
    const CommandLine c = parse(args);
    EXPECT_EQ(c.action, CommandLine::Action::UsageError) << text;
    EXPECT_EQ(c.text, text);
  }
}

}  // namespace
}  // namespace tavric::qt
