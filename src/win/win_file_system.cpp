#include "win/win_file_system.h"

#include <windows.h>

#include <string>

#include "win/win_error.h"

namespace tavric::win {
namespace {

// Other programs may read the output files while they are written (a viewer, a
// backup), and rename or delete them, as they can on a POSIX system.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() { close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }
  bool close() {
    if (!valid()) return true;
    const bool ok = ::CloseHandle(h_) != 0;
    h_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE h_;
};

bool attributes(const std::filesystem::path& p, WIN32_FILE_ATTRIBUTE_DATA& data) {
  return ::GetFileAttributesExW(p.c_str(), GetFileExInfoStandard, &data) != 0;
}

// Whole lines go to the file in batches of up to 64 KiB, so that a crash leaves whole
// lines only and a long download costs a system call per batch, not per line.
class WinTextFile : public TextFile {
 public:
  explicit WinTextFile(HANDLE h) : file_(h) {}
  ~WinTextFile() override { close(); }

  std::error_code write(std::string_view text) override {
    if (!file_.valid()) return std::make_error_code(std::errc::bad_file_descriptor);
    buffer_.append(text);
    if (buffer_.size() < kBatch) return {};
    // Hand the complete lines to the system; keep a partial line until it is finished.
    const auto end = buffer_.rfind('\n');
    const std::size_t n = end == std::string::npos ? buffer_.size() : end + 1;
    return flush_bytes(n);
  }

  std::error_code sync() override {
    if (!file_.valid()) return std::make_error_code(std::errc::bad_file_descriptor);
    if (auto e = flush_bytes(buffer_.size())) return e;
    if (!::FlushFileBuffers(file_.get())) return last_windows_error();
    return {};
  }

  std::error_code close() override {
    if (!file_.valid()) return {};
    std::error_code e = flush_bytes(buffer_.size());
    if (!file_.close() && !e) e = last_windows_error();
    return e;
  }

 private:
  static constexpr std::size_t kBatch = 1 << 16;

  std::error_code flush_bytes(std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(n - done, 1 << 30));
      const bool ok = ::WriteFile(file_.get(), buffer_.data() + done, chunk, &written, nullptr);
      done += written;
      if (!ok || written == 0) {
        const std::error_code e = ok ? windows_error(ERROR_DISK_FULL) : last_windows_error();
        // A write that fails part way (a disk that fills up in the middle of a line) is
        // cut back to the end of the last whole line it wrote, so no half line stays in
        // the file and the rest stays pending whole.
        const std::size_t last_end = done == 0 ? std::string::npos : buffer_.rfind('\n', done - 1);
        const std::size_t whole = last_end == std::string::npos ? 0 : last_end + 1;
        LARGE_INTEGER end{};
        const bool cut_back =
            done == whole ||
            (::GetFileSizeEx(file_.get(), &end) &&
             cut_to(end.QuadPart - static_cast<LONGLONG>(done) + static_cast<LONGLONG>(whole)));
        buffer_.erase(0, cut_back ? whole : done);
        return e;
      }
    }
    buffer_.erase(0, n);
    return {};
  }

  bool cut_to(LONGLONG size) {
    LARGE_INTEGER at{};
    at.QuadPart = size;
    return ::SetFilePointerEx(file_.get(), at, nullptr, FILE_BEGIN) && ::SetEndOfFile(file_.get());
  }

  Handle file_;
  std::string buffer_;
};

class WinFileLock : public FileLock {
 public:
  explicit WinFileLock(HANDLE h) : file_(h) {}  // closing the handle lets go of the lock

 private:
  Handle file_;
};

}  // namespace

std::error_code WinFileSystem::create_directory(const std::filesystem::path& dir) {
  if (!::CreateDirectoryW(dir.c_str(), nullptr)) return last_windows_error();
  return {};
}

bool WinFileSystem::is_regular_file(const std::filesystem::path& file) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  return attributes(file, data) && !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool WinFileSystem::is_directory(const std::filesystem::path& dir) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  return attributes(dir, data) && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::error_code WinFileSystem::remove(const std::filesystem::path& file) {
  if (!::DeleteFileW(file.c_str())) return last_windows_error();
  return {};
}

std::error_code WinFileSystem::rename(const std::filesystem::path& from,
                                      const std::filesystem::path& to) {
  // Write-through: the call returns once the new name is on the disk.
  if (!::MoveFileExW(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return last_windows_error();
  }
  return {};
}

std::unique_ptr<TextFile> WinFileSystem::open(const std::filesystem::path& file, OpenMode mode,
                                              std::error_code& error) {
  const DWORD disposition = mode == OpenMode::Append ? OPEN_ALWAYS : CREATE_ALWAYS;
  const HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, kShareAll, nullptr, disposition,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = last_windows_error();
    return nullptr;
  }
  // The folder is this run's alone while it writes, so the end found now stays the end.
  if (mode == OpenMode::Append && !::SetFilePointerEx(h, LARGE_INTEGER{}, nullptr, FILE_END)) {
    error = last_windows_error();
    ::CloseHandle(h);
    return nullptr;
  }
  error.clear();
  return std::make_unique<WinTextFile>(h);
}

std::uintmax_t WinFileSystem::file_size(const std::filesystem::path& file, std::error_code& error) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!attributes(file, data)) {
    error = last_windows_error();
    return 0;
  }
  error.clear();
  return (static_cast<std::uintmax_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string WinFileSystem::read(const std::filesystem::path& file, std::uintmax_t offset,
                                std::size_t length, std::error_code& error) {
  Handle in(::CreateFileW(file.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!in.valid()) {
    error = last_windows_error();
    return {};
  }
  std::string out(length, '\0');
  std::size_t done = 0;
  error.clear();
  while (done < length) {
    OVERLAPPED at{};  // the offset of a synchronous read
    const std::uintmax_t position = offset + done;
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD got = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(length - done, 1 << 30));
    if (!::ReadFile(in.get(), out.data() + done, chunk, &got, &at)) {
      if (::GetLastError() != ERROR_HANDLE_EOF) error = last_windows_error();
      break;
    }
    if (got == 0) break;
    done += got;
  }
  out.resize(done);
  return out;
}

std::error_code WinFileSystem::sync_directory(const std::filesystem::path& dir) {
  Handle folder(::CreateFileW(dir.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!folder.valid()) {
    // A folder that cannot be opened for writing (a read-only share) may still be there;
    // only a folder that is missing altogether is an error.
    const std::error_code e = last_windows_error();
    return is_directory(dir) ? std::error_code() : e;
  }
  // NTFS records changes to a folder in its journal, and renames are written through;
  // flushing the folder as well makes the step as strict as on POSIX where the file
  // system allows it. A file system that refuses to flush a folder has nothing more to do.
  if (!::FlushFileBuffers(folder.get())) {
    const DWORD code = ::GetLastError();
    if (code != ERROR_INVALID_FUNCTION && code != ERROR_ACCESS_DENIED &&
        code != ERROR_INVALID_PARAMETER) {
      return windows_error(code);
    }
  }
  return {};
}

std::unique_ptr<FileLock> WinFileSystem::try_lock(const std::filesystem::path& file,
                                                  std::error_code& error) {
  const HANDLE h =
      ::CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    error = code == ERROR_SHARING_VIOLATION
                ? std::make_error_code(std::errc::resource_unavailable_try_again)
                : windows_error(code);
    return nullptr;
  }
  // The lock belongs to this handle: a second try, even from this process, is refused;
  // the system lets go of it when the handle closes or the process ends in any way.
  OVERLAPPED whole{};
  if (!::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                    &whole)) {
    const DWORD code = ::GetLastError();
    error = code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING
                ? std::make_error_code(std::errc::resource_unavailable_try_again)
                : windows_error(code);
    ::CloseHandle(h);
    return nullptr;
  }
  error.clear();
  return std::make_unique<WinFileLock>(h);
}

}  // namespace tavric::win
