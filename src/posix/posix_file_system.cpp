#include "posix/posix_file_system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace tavric {
namespace {

std::error_code last_error() {
  return {errno, std::generic_category()};
}

// Whole lines go to the descriptor in batches of up to 64 KiB, so that a crash leaves
// whole lines only and a long download costs a system call per batch, not per line.
class PosixTextFile : public TextFile {
 public:
  explicit PosixTextFile(int fd) : fd_(fd) {}
  ~PosixTextFile() override { close(); }

  std::error_code write(std::string_view text) override {
    if (fd_ < 0) return std::make_error_code(std::errc::bad_file_descriptor);
    buffer_.append(text);
    if (buffer_.size() < kBatch) return {};
    // Hand the complete lines to the system; keep a partial line until it is finished.
    const auto end = buffer_.rfind('\n');
    const std::size_t n = end == std::string::npos ? buffer_.size() : end + 1;
    return flush_bytes(n);
  }

  std::error_code sync() override {
    if (fd_ < 0) return std::make_error_code(std::errc::bad_file_descriptor);
    if (auto e = flush_bytes(buffer_.size())) return e;
    if (::fsync(fd_) != 0) return last_error();
    return {};
  }

  std::error_code close() override {
    if (fd_ < 0) return {};
    std::error_code e = flush_bytes(buffer_.size());
    if (::close(fd_) != 0 && !e) e = last_error();
    fd_ = -1;
    return e;
  }

 private:
  static constexpr std::size_t kBatch = 1 << 16;

  std::error_code flush_bytes(std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
      const ssize_t w = ::write(fd_, buffer_.data() + done, n - done);
      if (w < 0) {
        if (errno == EINTR) continue;
        const std::error_code e = last_error();
        // A write that fails part way (a disk that fills up in the middle of a line) is
        // cut back to the end of the last whole line it wrote, so no half line stays in
        // the file and the rest stays pending whole. That place is worked out only here,
        // from the end less what this flush wrote: asking for it before every flush
        // would cost a system call each time.
        const std::size_t last_end = done == 0 ? std::string::npos : buffer_.rfind('\n', done - 1);
        const std::size_t whole = last_end == std::string::npos ? 0 : last_end + 1;
        const off_t end = ::lseek(fd_, 0, SEEK_END);
        const off_t keep = end - static_cast<off_t>(done) + static_cast<off_t>(whole);
        const bool cut_back = done == whole || (end >= 0 && ::ftruncate(fd_, keep) == 0 &&
                                                ::lseek(fd_, keep, SEEK_SET) == keep);
        buffer_.erase(0, cut_back ? whole : done);
        return e;
      }
      done += static_cast<std::size_t>(w);
    }
    buffer_.erase(0, n);
    return {};
  }

  int fd_;
  std::string buffer_;
};

}  // namespace

std::error_code PosixFileSystem::create_directory(const std::filesystem::path& dir) {
  if (::mkdir(dir.c_str(), 0777) != 0) return last_error();
  return {};
}

bool PosixFileSystem::is_regular_file(const std::filesystem::path& file) {
  struct stat st {};
  return ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool PosixFileSystem::is_directory(const std::filesystem::path& dir) {
  struct stat st {};
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::error_code PosixFileSystem::remove(const std::filesystem::path& file) {
  if (::unlink(file.c_str()) != 0) return last_error();
  return {};
}

std::error_code PosixFileSystem::rename(const std::filesystem::path& from,
                                        const std::filesystem::path& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) return last_error();
  return {};
}

std::unique_ptr<TextFile> PosixFileSystem::open(const std::filesystem::path& file, OpenMode mode,
                                                std::error_code& error) {
  const int flags =
      O_WRONLY | O_CREAT | O_CLOEXEC | (mode == OpenMode::Append ? O_APPEND : O_TRUNC);
  const int fd = ::open(file.c_str(), flags, 0666);
  if (fd < 0) {
    error = last_error();
    return nullptr;
  }
  error.clear();
  return std::make_unique<PosixTextFile>(fd);
}

std::uintmax_t PosixFileSystem::file_size(const std::filesystem::path& file,
                                          std::error_code& error) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) {
    error = last_error();
    return 0;
  }
  error.clear();
  return static_cast<std::uintmax_t>(st.st_size);
}

std::string PosixFileSystem::read(const std::filesystem::path& file, std::uintmax_t offset,
                                  std::size_t length, std::error_code& error) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = last_error();
    return {};
  }
  std::string out(length, '\0');
  std::size_t done = 0;
  error.clear();
  while (done < length) {
    const ssize_t n =
        ::pread(fd, out.data() + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = last_error();
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  out.resize(done);
  return out;
}

std::error_code PosixFileSystem::sync_directory(const std::filesystem::path& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return last_error();
  std::error_code e;
  if (::fsync(fd) != 0) e = last_error();
  ::close(fd);
  return e;
}

namespace {

class PosixFileLock : public FileLock {
 public:
  explicit PosixFileLock(int fd) : fd_(fd) {}
  ~PosixFileLock() override { ::close(fd_); }  // closing lets go of the lock

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<FileLock> PosixFileSystem::try_lock(const std::filesystem::path& file,
                                                    std::error_code& error) {
  const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = last_error();
    return nullptr;
  }
  // flock: the lock belongs to this open file, whoever else opens the same file.
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    error = errno == EWOULDBLOCK ? std::make_error_code(std::errc::resource_unavailable_try_again)
                                 : last_error();
    ::close(fd);
    return nullptr;
  }
  error.clear();
  return std::make_unique<PosixFileLock>(fd);
}

}  // namespace tavric
