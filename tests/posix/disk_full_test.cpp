#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "posix/posix_file_system.h"

namespace tavric {
namespace {

// A disk that fills up in the middle of a line: the file keeps the whole lines that fit
// and no part of the next, and the flush that met the full disk reports it, as does
// every later one.
TEST(DiskFull, AFileThatCannotGrowKeepsWholeLines) {
  char folder[] = "/tmp/tavric-full-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::filesystem::path file = std::filesystem::path(folder) / "Tavric Probe Data.csv";
  const std::string line = "01234, 2012/03/04 14:05:00, 23.5\r\n";  // 34 bytes

  // The child's files may grow to 100 bytes: two lines and a part of the third.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{100, 100};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    PosixFileSystem files;
    std::error_code error;
    auto out = files.open(file, OpenMode::Append, error);
    for (int i = 0; i < 5; ++i) (void)out->write(line);  // buffered: nothing to fail yet
    const bool sync_failed = static_cast<bool>(out->sync());
    const bool close_failed = static_cast<bool>(out->close());
    ::_exit(sync_failed && close_failed ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "failures not reported";

  std::ifstream in(file, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  EXPECT_EQ(content.str(), line + line);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tavric
