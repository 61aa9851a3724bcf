#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "app/run_options.h"
#include "app/trace.h"
#include "app/trace_files.h"
#include "session/exit_status.h"
#include "sim/legacy_server.h"
#include "tests/app/launch_fixture.h"

namespace tavric {
namespace {

using launchtest::ModemSetup;
using launchtest::OptionLaunch;

// Lines stamped with the milliseconds since the start; a trace that cannot be created
// or written is said once and dropped.
TEST(TraceFile, StampedLinesAndFailuresSaidOnce) {
  testhost::TestHost host;
  const auto file = host.output_dir / "t.txt";
  for (const std::filesystem::path& place : {file, {"/nonexistent/t.txt"}, {"/dev/full"}}) {
    std::ostringstream err;
    {
      auto trace = Trace::to_file(host.clock, place, err);
      trace->note("first");
      host.clock.advance_by(std::chrono::microseconds(1234567));
      trace->note("a\r\ntwo-line text");
      trace->flush();  // lines go out in batches: a full disk shows here
      EXPECT_EQ(trace->working(), place == file);
    }
    const std::string said = err.str();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), place == file ? 0 : 1) << said;
    EXPECT_EQ(said.find(place.string()) != std::string::npos, place != file) << said;
  }
  std::ifstream in(file);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "      0 first\n   1234 a | two-line text\n");
}

// A trace is a new file: a link planted under its name is neither followed nor removed,
// and a second name of another file is replaced, not written into. Warnings are told on
// standard error too, and control bytes in a note show as \xNN.
TEST(TraceFile, ANewFileThatNeverWritesThroughALink) {
  testhost::TestHost host;
  const auto victim = host.output_dir / "victim.txt";
  std::ofstream(victim) << "keep";
  std::filesystem::create_hard_link(victim, host.output_dir / "hard.txt");
  std::ostringstream err;
#ifndef _WIN32  // Wine makes no symbolic links
  std::filesystem::create_symlink(victim, host.output_dir / "soft.txt");
  EXPECT_FALSE(Trace::to_file(host.clock, host.output_dir / "soft.txt", err)->working());
  EXPECT_TRUE(std::filesystem::is_symlink(host.output_dir / "soft.txt"));
#endif
  {
    auto trace = Trace::to_file(host.clock, host.output_dir / "hard.txt", err);
    ASSERT_TRUE(trace->working());
    trace->note("warning: the record \x1B[2J" + std::string(1, '\0') + " is damaged");
  }
  std::ifstream in(victim);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
  EXPECT_NE(err.str().find("probe-server-dump: warning: the record \\x1B[2J\\x00 is damaged\n"),
            std::string::npos)
      << err.str();
  std::ifstream hard(host.output_dir / "hard.txt");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(hard), {}),
            "      0 warning: the record \\x1B[2J\\x00 is damaged\n");
}

TEST(TraceFile, NamedByStartTimeAndOnlyTheLast100Kept) {
  testhost::TestHost host;
  const auto dir = host.output_dir;
  const LocalDateTime start{2024, 5, 1, 9, 3, 7};
  std::ofstream(new_trace_file(dir, start)).put('x');
  EXPECT_EQ(new_trace_file(dir, start).filename(), "trace-20240501-090307-2.txt");
  for (int minute = 0; minute < 59; ++minute) {
    for (int hour : {7, 8}) std::ofstream(dir / trace_file_name({2024, 5, 1, hour, minute, 0}));
  }
  std::ofstream(dir / "notes.txt");
  // 120 traces with the current one, which sorts first here but is never removed.
  const auto current = dir / trace_file_name({2024, 5, 1, 6, 0, 0});
  std::ofstream(current).put('x');
  prune_traces(dir, kTracesKept, current);

  std::set<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    left.insert(e.path().filename().string());
  }
  EXPECT_EQ(left.size(), kTracesKept + 1);
  EXPECT_TRUE(left.count("notes.txt") && left.count(current.filename().string()));
  EXPECT_FALSE(left.count("trace-20240501-071900.txt"));  // the 20 oldest others are gone
  EXPECT_TRUE(left.count("trace-20240501-072000.txt"));
}

// A --trace that leads to an output file by any road, a link of either kind included,
// is refused before anything is opened; a trace beside the files is not.
TEST(TraceFile, NeverPlacedOnAnOutputFileWhateverLeadsThere) {
  testhost::TestHost host;
  namespace fs = std::filesystem;
  const fs::path out = host.output_dir / "out";
  fs::create_directories(out / "Tavric Dumps");
  std::ofstream(out / "Tavric Probe Data.csv") << "Probe\r\n";
  std::ofstream(out / "Tavric Dumps" / "Dump03.csv") << "Probe\r\n";
  const fs::path elsewhere = host.output_dir;
  fs::create_hard_link(out / "Tavric Probe Data.csv", elsewhere / "hard.txt");
  fs::create_hard_link(out / "Tavric Dumps" / "Dump03.csv", elsewhere / "dump.txt");
  const auto complaint = [&](const fs::path& trace) { return check_trace_place(trace, out); };
#ifndef _WIN32  // Wine makes no symbolic links
  fs::create_symlink(out / "Tavric Probe Data.csv", elsewhere / "soft.txt");
  fs::create_directory_symlink(out / "Tavric Dumps", elsewhere / "dumps");
  EXPECT_EQ(complaint(elsewhere / "soft.txt"),
            "--trace: '" + (elsewhere / "soft.txt").string() + "' is the probe data file");
  EXPECT_NE(complaint(elsewhere / "dumps" / "t.txt").find("lies in the dump folder"),
            std::string::npos);
#endif
  EXPECT_NE(complaint(elsewhere / "hard.txt").find("is the probe data file"), std::string::npos);
  EXPECT_NE(complaint(elsewhere / "dump.txt").find("is a dump file"), std::string::npos);
  EXPECT_NE(complaint(out / "Tavric Probe Data.kept").find("lines kept back"), std::string::npos);
  EXPECT_EQ(complaint(out / "trace.txt"), "");
  EXPECT_EQ(complaint(elsewhere / "new.txt"), "");
}

// The notes of a legacy run at "Hi": port, control lines, frames in hex, the speed
// change, event texts, files with sizes and the clearing decision, in their order.
TEST(RunTrace, LegacyRunIsTracedByteForByte) {
  OptionLaunch l;
  l.options.speed_hi = true;
  sim::LegacyServer::Config c;
  c.records = runtest::clean_records(4 * 3);
  sim::LegacyServer server(c);
  l.host.line.attach(1, server);
  ASSERT_EQ(l.run(), kExitCompleted);

  const auto& notes = l.trace.notes;
  const auto at = [&](const std::string& text) {
    return std::find(notes.begin(), notes.end(), text) - notes.begin();
  };
  const auto opened = at("port com1 (/dev/test1) opened at 9600,n,8,1");
  ASSERT_FALSE(l.host.line.sent().empty());
  const auto first_frame = at("port > " + hex_bytes(l.host.line.sent()[0].bytes));
  const auto fast = at("port settings 56000,n,8,1");
  const auto keep_decision = at("store to be cleared: every reading of this run is on disk");
  const auto cleared = at("store cleared");
  ASSERT_LT(cleared, static_cast<long>(notes.size()));
  EXPECT_TRUE(opened < first_frame && first_frame < fast && fast < keep_decision &&
              keep_decision < cleared);

  // Every byte sent appears once, each write on its own line.
  EXPECT_EQ(std::count_if(notes.begin(), notes.end(),
                          [](const std::string& n) { return n.rfind("port > ", 0) == 0; }),
            static_cast<long>(l.host.line.sent().size()));

  const auto dump = l.host.output_dir / "Tavric Dumps" / "Dump00.csv";
  EXPECT_TRUE(l.trace.has("file \"" + dump.string() + "\" written: " +
                          std::to_string(std::filesystem::file_size(dump)) + " bytes this run"));
}

// An unattended modem call with the PIN and number of the options: the saved number is
// neither dialled nor replaced, and the PIN is hidden in the trace and the prompt lines,
// also when the modem keeps its echo on and sends the PIN command back.
TEST(RunTrace, ModemLinesAndPromptsAreTracedWithThePinHidden) {
  // With the echo on, the line brings the PIN command back cut into pieces of every size.
  for (const std::size_t chunk : {0, 1, 3, 5, 8, 9, 11, 13}) {
    const bool echo = chunk > 0;
    OptionLaunch l;
    if (echo) l.host.line.set_chunk_size(chunk);
    sim::V5Server server(launchtest::v5_with(6));
    sim::CellModem::Config config = ModemSetup::modem_config("2468", "0400111222");
    config.echo_stays_on = echo;
    sim::CellModem modem(server, config);
    l.host.line.attach(1, modem);
    l.host.settings.set("Cell", "0399000000");
    l.options = {.cell = "0400111222", .pin = "2468", .unattended = true};
    ASSERT_EQ(l.run(), kExitCompleted);
    EXPECT_EQ(l.host.settings.get("Cell", ""), "0399000000");
    EXPECT_TRUE(l.said("Pin Code: Please enter your cell pin code: [answered \"****\"]"));

    // The modem's dialogue as lines; once the call carries the server's frames, they are
    // not taken for modem lines.
    std::vector<std::string> modem_lines;
    for (const auto& n : l.trace.notes) {
      if (n.rfind("modem ", 0) == 0) modem_lines.push_back(n);
    }
    const std::vector<std::string> echoed =
        echo ? std::vector<std::string>{"modem < AT+CPIN?", "modem < AT+CPIN=\"****\""}
             : std::vector<std::string>{};
    for (const std::string& line : echoed) EXPECT_TRUE(l.trace.has(line)) << line;
    ASSERT_GE(modem_lines.size(), 7U);
    EXPECT_EQ(
        std::vector<std::string>(modem_lines.begin(), modem_lines.begin() + 7),
        (std::vector<std::string>{"modem > ATE0", "modem < ATE0", "modem < OK", "modem > AT+CPIN?",
                                  echo ? "modem < AT+CPIN?" : "modem < +CPIN: SIM PIN",
                                  echo ? "modem < +CPIN: SIM PIN" : "modem < OK",
                                  echo ? "modem < OK" : "modem > AT+CPIN=\"****\""}));
    EXPECT_TRUE(l.trace.has("port > 41 54 2B 43 50 49 4E 3D 22 ** ** ** ** 22 0D"));
    EXPECT_FALSE(l.trace.has("2468")) << chunk;
    // The bytes received before the call, joined again from their notes.
    std::string received;
    for (const auto& n : l.trace.notes) {
      if (n == "modem < CONNECT 9600") break;
      if (n.rfind("port < ", 0) == 0) received += n.substr(7) + " ";
    }
    EXPECT_EQ(received.find("32 34 36 38"), std::string::npos) << chunk;
    EXPECT_EQ(received.find("22 ** ** ** ** 22") != std::string::npos, echo) << chunk;
    EXPECT_TRUE(l.trace.has("answer to \"Pin Code\": \"****\""));
    EXPECT_EQ(l.err.str().find("2468"), std::string::npos);
  }
}

// What the modem sent back shows in the failed dial's message with its control bytes
// escaped: a message reaches standard error and the window as text, never raw bytes.
TEST(RunTrace, ModemBytesInAMessageAreEscaped) {
  OptionLaunch l;
  sim::V5Server server(launchtest::v5_with(6));
  sim::CellModem::Config config = ModemSetup::modem_config("", "0400111222");
  config.echo_stays_on = true;
  sim::CellModem modem(server, config);
  l.host.line.attach(1, modem);
  l.host.dialogs.answer(std::string("0400\0\a", 6));  // echoed back with the dial command
  EXPECT_EQ(l.run(), kExitModemFailed);
  ASSERT_EQ(l.host.dialogs.messages().size(), 1U);
  const std::string text = l.host.dialogs.messages()[0].text;
  EXPECT_NE(text.find("ATD0400\\x00\\x07"), std::string::npos) << text;
  EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) {
    return static_cast<unsigned char>(c) >= 0x20 || c == '\r' || c == '\n';
  })) << text;
}

}  // namespace
}  // namespace tavric
