#include <gtest/gtest.h>
#include <windows.h>
// clang-format off
#include <shlobj.h>
// clang-format on

#include "platform/run_control.h"
#include "session/exit_status.h"
#include "tests/host/sha256_vectors.h"
#include "tests/host/test_host.h"
#include "win/command_args.h"
#include "win/device_claim.h"
#include "win/locations.h"
#include "win/main_window.h"
#include "win/registry_settings.h"
#include "win/win_clock.h"
#include "win/win_digest.h"
#include "win/win_file_system.h"

namespace tavric::win {
namespace {

namespace fs = std::filesystem;

// A fresh folder under a user folder whose name is not ASCII, as on many laptops.
class WinFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(files.create_directory(host.output_dir / path_from_text("Jürgen")));
    dir = host.output_dir / path_from_text("Jürgen") / path_from_text("Łukasz");
    ASSERT_FALSE(files.create_directory(dir));
  }
  std::string content(const fs::path& file) {
    std::error_code e;
    return files.read(file, 0, 1 << 16, e);
  }

  testhost::TestHost host;
  WinFileSystem files;
  fs::path dir;
};

TEST_F(WinFiles, LinesGoOutWholeAppendKeepsAndRenameReplaces) {
  const fs::path data = dir / path_from_text("Tavric Probe Data é.csv");
  std::error_code e;
  auto out = files.open(data, OpenMode::Replace, e);
  ASSERT_TRUE(out) << e.message();
  EXPECT_FALSE(out->write("line 1\r\nline "));
  EXPECT_FALSE(out->write("2\r\n"));
  EXPECT_FALSE(out->sync());
  EXPECT_FALSE(out->close());
  EXPECT_EQ(files.file_size(data, e), 16U);

  out = files.open(data, OpenMode::Append, e);
  ASSERT_TRUE(out);
  EXPECT_FALSE(out->write("line 3\r\n"));
  out.reset();  // closing writes what is pending
  EXPECT_EQ(content(data), "line 1\r\nline 2\r\nline 3\r\n");
  EXPECT_EQ(files.read(data, 8, 6, e), "line 2");

  const fs::path older = dir / "Dump01.csv";
  files.open(older, OpenMode::Replace, e)->write("old\r\n");
  EXPECT_FALSE(files.rename(data, older));  // the older file is replaced in one step
  EXPECT_FALSE(files.is_regular_file(data));
  EXPECT_EQ(content(older), "line 1\r\nline 2\r\nline 3\r\n");
  EXPECT_TRUE(files.is_directory(dir));
  EXPECT_FALSE(files.is_directory(older));
  EXPECT_FALSE(files.sync_directory(dir));
  EXPECT_FALSE(files.remove(older));

  // Failures say why, as the system's reasons the rest of the program compares with.
  EXPECT_FALSE(files.open(dir / "missing" / "x.csv", OpenMode::Append, e));
  EXPECT_EQ(e, std::errc::no_such_file_or_directory);
  EXPECT_EQ(files.remove(older), std::errc::no_such_file_or_directory);
  EXPECT_EQ(e.message().back() == '.', false);  // it reads well inside a sentence
  EXPECT_EQ(files.create_directory(dir), std::errc::file_exists);
}

// A temporary left by a run killed between making it and renaming it is removed when
// its name is next written afresh; one of a process still running is left alone.
TEST_F(WinFiles, StaleTemporariesOfEndedRunsAreRemoved) {
  const fs::path stale = dir / ".Dump00.csv.4000000000-0.tmp";
  const fs::path running =
      dir / (L".Dump00.csv." + std::to_wstring(::GetCurrentProcessId()) + L"-7.tmp");
  std::error_code e;
  for (const fs::path& p : {stale, running}) ASSERT_TRUE(files.open(p, OpenMode::Append, e)) << p;
  ASSERT_TRUE(files.open(dir / "Dump00.csv", OpenMode::Replace, e)) << e.message();
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(running));
}

TEST_F(WinFiles, TheFolderLockIsExclusiveUntilLetGo) {
  const fs::path lock = dir / "Tavric Download.lock";
  std::error_code e;
  auto held = files.try_lock(lock, e);
  ASSERT_TRUE(held) << e.message();
  EXPECT_FALSE(files.try_lock(lock, e));  // also for a second try of the same process
  EXPECT_TRUE(held_elsewhere(e)) << e.message();
  held.reset();
  EXPECT_TRUE(files.try_lock(lock, e)) << e.message();
}

// An installed program writes to the user's folder, even where it could write beside
// itself (an administrator, or Wine, may write under Program Files); a copy in a folder
// of its own writes beside itself.
TEST_F(WinFiles, AnInstalledProgramNeverWritesBesideItself) {
  wchar_t* known = nullptr;
  ASSERT_TRUE(SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_ProgramFiles, 0, nullptr, &known)));
  const fs::path program_files(known);
  ::CoTaskMemFree(known);
  const fs::path installed = program_files / "Tavric";
  for (const auto& [folder, system] : {std::pair{installed, true},
                                       {fs::path(installed.wstring() + L"\\..\\Tavric"), true},
                                       {fs::path(L"C:\\WINDOWS\\system32"), true},
                                       {fs::path(program_files.wstring() + L"x"), false},
                                       {dir, false}}) {
    EXPECT_EQ(is_system_folder(folder), system) << folder;
  }
  std::error_code e;
  fs::create_directories(installed, e);
  const bool writable = can_write_in(installed);
  EXPECT_EQ(output_dir(installed, dir), state_dir(dir)) << "writable: " << writable;
  EXPECT_EQ(output_dir(dir, host.output_dir), dir);
  fs::remove(installed, e);
}

TEST(RegistrySettings, TextValuesPerUserWithFallback) {
  const std::wstring key =
      L"Software\\Tavric tests\\Startup " + std::to_wstring(::GetCurrentProcessId());
  RegistrySettings settings(key);
  EXPECT_EQ(settings.get("Port", "0"), "0");
  settings.set("Port", "3");
  settings.set("Cell", "+61 400 ü");
  EXPECT_EQ(RegistrySettings(key).get("Port", "0"), "3");  // read afresh by another launch
  EXPECT_EQ(settings.get("Cell", ""), "+61 400 ü");
  wchar_t value[16] = {};
  DWORD size = sizeof(value);
  DWORD type = 0;
  EXPECT_EQ(
      ::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), L"Port", RRF_RT_ANY, &type, value, &size),
      ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tavric tests");
}

TEST(CommandArguments, SplitByTheSystemsRulesAsUtf8) {
  EXPECT_EQ(command_arguments(LR"("C:\Program Files\p.exe" --output "C:\Users\Jürgen\Data" )"
                              LR"(--cell=" 0400 111" --pin-file C:\Łukasz\pin.txt)"),
            (std::vector<std::string>{"--output", "C:\\Users\\Jürgen\\Data", "--cell= 0400 111",
                                      "--pin-file", "C:\\Łukasz\\pin.txt"}));
}

TEST(WinDigest, IsSha256) {
  testhost::expect_sha256(WinDigest());
}

// One device is held by one run, whatever name each run opened it by; a run that
// closes its port lets the next one in.
TEST(DeviceClaim, OneRunPerDeviceWhateverItsName) {
  EXPECT_EQ(DeviceClaim::object_name(LR"(\\?\Z:\dev\pts\0)"),
            DeviceClaim::object_name(LR"(\\?\z:\DEV\PTS\0)"));
  EXPECT_NE(DeviceClaim::object_name(LR"(\\?\Z:\dev\pts\0)"),
            DeviceClaim::object_name(LR"(\\?\Z:\dev\pts\1)"));
  DeviceClaim first, second;
  ASSERT_TRUE(first.take(INVALID_HANDLE_VALUE, LR"(\\.\COM231)"));
  EXPECT_FALSE(second.take(INVALID_HANDLE_VALUE, LR"(\\.\com231)"));
  EXPECT_FALSE(second.held());
  first.release();
  EXPECT_TRUE(second.take(INVALID_HANDLE_VALUE, LR"(\\.\COM231)"));
}

// The window's own waits, with the messages a person or the system sends meanwhile.
TEST(MainWindow, ClosingOrEndingTheSessionStopsAWaitOnce) {
  MainWindow window;
  int unloads = 0;
  std::vector<int> stops;
  window.on_unload = [&] { ++unloads; };
  window.on_stop = [&](int status, const std::string&) {
    stops.push_back(status);
    window.close_now();
  };
  window.show();
  window.set_speed_hi(true);
  EXPECT_TRUE(window.speed_hi());
  const WinClock clock;
  const MonoTime start = clock.monotonic();
  window.sleep_until(start + std::chrono::milliseconds(50));  // a plain sleep ends in time
  EXPECT_GE(clock.monotonic() - start, std::chrono::milliseconds(50));

  ::PostMessageW(window.hwnd(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
  EXPECT_THROW(window.sleep_until(clock.monotonic() + std::chrono::seconds(30)), WindowClosed);
  EXPECT_LT(clock.monotonic() - start, std::chrono::seconds(10));
  EXPECT_EQ(stops, std::vector<int>{kExitHangUp});
  EXPECT_EQ(unloads, 1);
  ::SendMessageW(window.hwnd(), WM_CLOSE, 0, 0);  // closed already: no second unload
  EXPECT_EQ(unloads, 1);
  EXPECT_THROW(window.yield(), WindowClosed);
}

}  // namespace
}  // namespace tavric::win
