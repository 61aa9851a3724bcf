#include "posix/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string>
#include <utility>
#include <vector>

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

// Closes a descriptor when it goes out of scope, keeping errno as the failure left it.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ < 0) return;
    const int saved = errno;
    ::close(fd_);
    errno = saved;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

std::string folder_key(const std::filesystem::path& dir) {
  std::string key = dir.lexically_normal().string();
  while (key.size() > 1 && key.back() == '/') key.pop_back();
  return key;
}

// The reason a file that is not a plain file of its own is refused: a second name
// (hard link) may be someone else's file, and anything else is no output file.
std::error_code refusal(const struct stat& st) {
  if (!S_ISREG(st.st_mode)) {
    return std::make_error_code(S_ISDIR(st.st_mode) ? std::errc::is_a_directory
                                                    : std::errc::invalid_argument);
  }
  if (st.st_nlink > 1) return std::make_error_code(std::errc::too_many_links);
  return {};
}

// Opens `name` in `folder` without following a link, and only when it is a plain file
// (with no other name, when `single` says so); -1 and `error` otherwise.
int open_plain(int folder, const std::string& name, int flags, bool single,
               std::error_code& error) {
  Fd fd(::openat(folder, name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
  if (fd.get() < 0) {
    error = last_error();
    return -1;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    error = last_error();
    return -1;
  }
  error = refusal(st);
  if (error && !(error == std::errc::too_many_links && !single)) return -1;
  error.clear();
  // Only the open was not to wait (a planted pipe); the file itself is written as usual.
  ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
  return fd.release();
}

// The temporary names a file written afresh passes under: "." name "." pid "-" n ".tmp".
std::string fresh_name(const std::string& name, long pid, unsigned attempt) {
  return "." + name + "." + std::to_string(pid) + "-" + std::to_string(attempt) + ".tmp";
}

// Removes the temporaries of `name` that a run killed between making one and renaming
// it left behind: those of processes that no longer exist. Each is removed by its name
// (a link is removed itself), never opened.
void remove_stale_fresh_files(int folder, const std::string& name) {
  // The folder's own descriptor may serve paths only: the listing opens it afresh.
  const int listing = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* dir = listing < 0 ? nullptr : ::fdopendir(listing);
  if (dir == nullptr) {
    if (listing >= 0) ::close(listing);
    return;
  }
  const std::string prefix = "." + name + ".";
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view entry_name(entry->d_name);
    if (entry_name.size() <= prefix.size() + 4 || entry_name.rfind(prefix, 0) != 0 ||
        entry_name.substr(entry_name.size() - 4) != ".tmp") {
      continue;
    }
    const std::string_view tag =
        entry_name.substr(prefix.size(), entry_name.size() - prefix.size() - 4);
    const auto dash = tag.find('-');
    long pid = 0;
    const char* end = tag.data() + (dash == std::string_view::npos ? tag.size() : dash);
    const auto [p, ec] = std::from_chars(tag.data(), end, pid);
    if (ec != std::errc() || p != end || pid <= 0 || pid == ::getpid()) continue;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) stale.emplace_back(entry_name);
  }
  ::closedir(dir);
  for (const std::string& s : stale) ::unlinkat(folder, s.c_str(), 0);
}

}  // namespace

int PosixFileSystem::open_folder_of(const std::filesystem::path& path, std::string& name,
                                    bool readable) const {
  name = path.filename().string();
  std::filesystem::path folder = path.parent_path();
  folder = folder.empty() ? std::filesystem::path(".") : std::filesystem::path(folder_key(folder));
  const int how = (readable ? O_RDONLY : O_PATH) | O_DIRECTORY | O_CLOEXEC;
  if (own_folders_.count(folder_key(folder)) == 0 || !folder.has_parent_path()) {
    return ::open(folder.c_str(), how);
  }
  // A folder this program made is entered only when it is still a folder itself.
  const Fd above(::open(folder.parent_path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (above.get() < 0) return -1;
  return ::openat(above.get(), folder.filename().c_str(),
                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

std::error_code PosixFileSystem::create_directory(const std::filesystem::path& dir) {
  const std::filesystem::path own(folder_key(dir));
  own_folders_.insert(own.string());
  std::string name;
  const Fd folder(open_folder_of(own, name, false));
  if (folder.get() < 0) return last_error();
  if (::mkdirat(folder.get(), name.c_str(), 0777) == 0) return {};
  const std::error_code e = last_error();
  // A link in the folder's place is refused: the files would land wherever it points.
  struct stat st {};
  if (e == std::errc::file_exists &&
      ::fstatat(folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
    return std::make_error_code(std::errc::too_many_symbolic_link_levels);
  }
  return e;
}

bool PosixFileSystem::is_regular_file(const std::filesystem::path& file) {
  std::string name;
  const Fd folder(open_folder_of(file, name, false));
  struct stat st {};
  return folder.get() >= 0 &&
         ::fstatat(folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISREG(st.st_mode);
}

bool PosixFileSystem::is_directory(const std::filesystem::path& dir) {
  struct stat st {};
  if (own_folders_.count(folder_key(dir)) == 0) {
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }
  std::string name;
  const Fd folder(open_folder_of(std::filesystem::path(folder_key(dir)), name, false));
  return folder.get() >= 0 &&
         ::fstatat(folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISDIR(st.st_mode);
}

std::error_code PosixFileSystem::remove(const std::filesystem::path& file) {
  std::string name;
  const Fd folder(open_folder_of(file, name, false));
  // unlinkat removes a link itself, never what it points to.
  if (folder.get() < 0 || ::unlinkat(folder.get(), name.c_str(), 0) != 0) return last_error();
  return {};
}

std::error_code PosixFileSystem::rename(const std::filesystem::path& from,
                                        const std::filesystem::path& to) {
  std::string from_name;
  std::string to_name;
  const Fd from_folder(open_folder_of(from, from_name, false));
  if (from_folder.get() < 0) return last_error();
  const Fd to_folder(open_folder_of(to, to_name, false));
  if (to_folder.get() < 0) return last_error();
  if (::renameat(from_folder.get(), from_name.c_str(), to_folder.get(), to_name.c_str()) != 0) {
    return last_error();
  }
  return {};
}

std::unique_ptr<TextFile> PosixFileSystem::open(const std::filesystem::path& file, OpenMode mode,
                                                std::error_code& error) {
  std::string name;
  const Fd folder(open_folder_of(file, name, false));
  if (folder.get() < 0) {
    error = last_error();
    return nullptr;
  }
  if (mode == OpenMode::Append) {
    const int fd = open_plain(folder.get(), name, O_WRONLY | O_APPEND | O_CREAT, true, error);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixTextFile>(fd);
  }
  // A file written afresh is a new file under a name no one else has taken, renamed
  // over the old name: whatever was there (a link, a file with a second name) is
  // replaced, never written into.
  remove_stale_fresh_files(folder.get(), name);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string fresh = fresh_name(name, ::getpid(), attempt);
    const int fd = ::openat(folder.get(), fresh.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) {
      error = last_error();
      return nullptr;
    }
    if (::renameat(folder.get(), fresh.c_str(), folder.get(), name.c_str()) != 0) {
      error = last_error();
      ::unlinkat(folder.get(), fresh.c_str(), 0);
      ::close(fd);
      return nullptr;
    }
    error.clear();
    return std::make_unique<PosixTextFile>(fd);
  }
  error = std::make_error_code(std::errc::file_exists);
  return nullptr;
}

std::uintmax_t PosixFileSystem::file_size(const std::filesystem::path& file,
                                          std::error_code& error) {
  std::string name;
  const Fd folder(open_folder_of(file, name, false));
  struct stat st {};
  if (folder.get() < 0 || ::fstatat(folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    error = last_error();
    return 0;
  }
  // A link is no output file: its size would be that of someone else's file.
  if (S_ISLNK(st.st_mode)) {
    error = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    return 0;
  }
  error.clear();
  return static_cast<std::uintmax_t>(st.st_size);
}

std::string PosixFileSystem::read(const std::filesystem::path& file, std::uintmax_t offset,
                                  std::size_t length, std::error_code& error) {
  std::string name;
  const Fd folder(open_folder_of(file, name, false));
  if (folder.get() < 0) {
    error = last_error();
    return {};
  }
  // Read only through a plain file of this folder: a link planted in a shared folder
  // would otherwise carry another file's content into the chart page or the trace.
  const Fd fd(open_plain(folder.get(), name, O_RDONLY, false, error));
  if (fd.get() < 0) return {};
  std::string out(length, '\0');
  std::size_t done = 0;
  error.clear();
  while (done < length) {
    const ssize_t n =
        ::pread(fd.get(), out.data() + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = last_error();
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  out.resize(done);
  return out;
}

std::error_code PosixFileSystem::sync_directory(const std::filesystem::path& dir) {
  std::string name;
  const Fd fd(open_folder_of(dir / ".", name, true));
  if (fd.get() < 0) return last_error();
  if (::fsync(fd.get()) != 0) return last_error();
  return {};
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
  std::string name;
  const Fd folder(open_folder_of(file, name, false));
  if (folder.get() < 0) {
    error = last_error();
    return nullptr;
  }
  // Nothing is ever written to the lock file, so a second name of it does no harm.
  const int fd = open_plain(folder.get(), name, O_RDWR | O_CREAT, false, error);
  if (fd < 0) return nullptr;
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
