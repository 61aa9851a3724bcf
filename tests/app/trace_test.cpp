#include <gtest/gtest.h>

#include <fstream>

#include "app/exit_status.h"
#include "app/trace.h"
#include "app/trace_files.h"
#include "sim/legacy_server.h"
#include "tests/app/launch_fixture.h"

namespace tavric {
namespace {

using launchtest::ModemSetup;
using launchtest::NoteLog;
using launchtest::OptionLaunch;

std::vector<std::string> read_lines(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(TraceFile, EachNoteIsOneLineStampedWithTheMillisecondsSinceTheStart) {
  testhost::TestHost host;
  std::ostringstream err;
  const auto file = host.output_dir / "t.txt";
  {
    auto trace = Trace::to_file(host.clock, file, err);
    trace->note("first");
    host.clock.advance_by(std::chrono::microseconds(1234567));
    trace->note("a\r\ntwo-line text");
  }
  EXPECT_EQ(read_lines(file),
            (std::vector<std::string>{"      0 first", "   1234 a | two-line text"}));
  EXPECT_TRUE(err.str().empty());
}

TEST(TraceFile, ATraceThatCannotBeWrittenIsSaidOnceAndDropped) {
  testhost::TestHost host;
  for (const char* place : {"/nonexistent-folder/t.txt", "/dev/full"}) {
    std::ostringstream err;
    auto trace = Trace::to_file(host.clock, place, err);
    trace->note("one");
    trace->note("two");
    EXPECT_FALSE(trace->working()) << place;
    const std::string said = err.str();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find(place), std::string::npos) << said;
  }
}

TEST(TraceFile, NamedByStartTimeAndOnlyTheLast100Kept) {
  EXPECT_EQ(trace_dir({{"XDG_STATE_HOME", "/s"}, {"HOME", "/h"}}), "/s/RNQ7/traces");
  EXPECT_EQ(trace_dir({{"XDG_STATE_HOME", "rel"}, {"HOME", "/h"}}), "/h/.local/state/RNQ7/traces");

  testhost::TestHost host;
  const auto dir = host.output_dir;
  const LocalDateTime start{2024, 5, 1, 9, 3, 7};
  const auto first = new_trace_file(dir, start);
  EXPECT_EQ(first.filename(), "trace-20240501-090307.txt");
  std::ofstream(first).put('x');
  const auto second = new_trace_file(dir, start);  // another launch in the same second
  EXPECT_EQ(second.filename(), "trace-20240501-090307-2.txt");
  std::ofstream(second).put('x');

  // 104 older traces, the two above, a foreign file; the newest is the current one.
  for (int minute = 0; minute < 52; ++minute) {
    for (int hour : {7, 8}) std::ofstream(dir / trace_file_name({2024, 5, 1, hour, minute, 0}));
  }
  std::ofstream(dir / "notes.txt");
  const auto current = dir / trace_file_name({2024, 5, 1, 10, 0, 0});
  std::ofstream(current).put('x');
  prune_traces(dir, kTracesKept, current);

  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    left.push_back(e.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left.size(), kTracesKept + 1);
  EXPECT_EQ(left.front(), "notes.txt");
  EXPECT_EQ(left[1], "trace-20240501-070700.txt");  // 107 traces: the 7 oldest are gone
  EXPECT_TRUE(std::binary_search(left.begin(), left.end(), "trace-20240501-090307-2.txt"));
  EXPECT_EQ(left.back(), "trace-20240501-100000.txt");
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
  const auto first_frame = at("port > " + hex_bytes(l.host.line.sent()[0].bytes));
  const auto fast = at("port settings 56000,n,8,1");
  const auto keep_decision = at("store to be cleared: every reading of this run is on disk");
  const auto cleared = at("store cleared");
  ASSERT_LT(cleared, static_cast<long>(notes.size()));
  EXPECT_LT(opened, first_frame);
  EXPECT_LT(first_frame, fast);
  EXPECT_LT(fast, keep_decision);
  EXPECT_LT(keep_decision, cleared);
  EXPECT_LT(at("event: Opened com1 OK"), first_frame);
  EXPECT_LT(at("port DTR on"), first_frame);

  // Every byte sent appears once, each write on its own line.
  std::size_t writes = 0;
  for (const auto& n : notes) writes += n.rfind("port > ", 0) == 0 ? 1 : 0;
  EXPECT_EQ(writes, l.host.line.sent().size());

  const auto dump = l.host.output_dir / "Tavric Dumps" / "Dump00.csv";
  const std::string size = std::to_string(std::filesystem::file_size(dump));
  EXPECT_TRUE(l.trace.has("file \"" + dump.string() + "\" written: " + size +
                          " bytes this run, size " + size + " bytes"));
}

TEST(RunTrace, ModemLinesAndPromptsAreTracedWithThePinHidden) {
  OptionLaunch l;
  sim::CellModem::Config mc;
  mc.pin = "2468";
  ModemSetup rig(l, mc);
  l.options = {.cell = "0400111222", .pin = "2468", .unattended = true};
  ASSERT_EQ(l.run(), kExitCompleted);

  // The modem's dialogue as lines; once the call carries the server's frames, they are
  // not taken for modem lines.
  std::vector<std::string> modem;
  for (const auto& n : l.trace.notes) {
    if (n.rfind("modem ", 0) == 0) modem.push_back(n);
  }
  EXPECT_EQ(modem, (std::vector<std::string>{
                       "modem > ATE0", "modem < ATE0", "modem < OK", "modem > AT+CPIN?",
                       "modem < +CPIN: SIM PIN", "modem < OK", "modem > AT+CPIN=\"****\"",
                       "modem < OK", "modem > ATD0400111222", "modem < CONNECT 9600", "modem > +++",
                       "modem < OK", "modem > ATH", "modem < OK"}));
  EXPECT_TRUE(l.trace.has("port > 41 54 2B 43 50 49 4E 3D 22 ** ** ** ** 22 0D"));
  EXPECT_FALSE(l.trace.has("2468"));
  EXPECT_FALSE(l.trace.has("32 34 36 38"));
  EXPECT_TRUE(l.trace.has("prompt \"Pin Code\": Please enter your cell pin code: [default \"\"]"));
  EXPECT_TRUE(l.trace.has("answer to \"Pin Code\": \"****\""));
  EXPECT_TRUE(l.trace.has("answer to \"Cell Number\": \"0400111222\""));
  EXPECT_TRUE(l.trace.has("event: Connected to 0400111222"));
}

}  // namespace
}  // namespace tavric
