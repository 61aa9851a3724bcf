#include "win/win_file_system.h"

#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "win/win_error.h"

// "The create operation stopped after reaching a symbolic link"; older headers lack it.
#ifndef ERROR_STOPPED_ON_SYMLINK
#define ERROR_STOPPED_ON_SYMLINK 681L
#endif

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

bool is_link(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

std::wstring folder_key(const std::filesystem::path& dir) {
  std::wstring key = dir.lexically_normal().wstring();
  while (key.size() > 3 && (key.back() == L'\\' || key.back() == L'/')) key.pop_back();
  return key;
}

// The full name the system resolves an open handle to, links followed; empty when it
// cannot tell.
std::wstring final_name(HANDLE h) {
  std::wstring name(MAX_PATH, L'\0');
  DWORD n = ::GetFinalPathNameByHandleW(h, name.data(), static_cast<DWORD>(name.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n >= name.size()) {
    name.resize(n + 1);
    n = ::GetFinalPathNameByHandleW(h, name.data(), static_cast<DWORD>(name.size()),
                                    FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  }
  if (n == 0 || n >= name.size()) return {};
  name.resize(n);
  return name;
}

// False when the open `h` is not the entry `path` names in its folder: a link under the
// name led elsewhere. Some systems show no reparse point for such a link (Wine, for a
// link of the POSIX system beneath it), but the resolved names still differ.
bool opened_as_named(HANDLE h, const std::filesystem::path& path) {
  const std::filesystem::path folder = path.parent_path();
  Handle above(::CreateFileW(folder.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!above.valid()) return true;  // nothing to compare with: the other checks stand
  const std::wstring in_folder = final_name(above.get());
  const std::wstring got = final_name(h);
  if (in_folder.empty() || got.empty()) return true;
  std::wstring expected = in_folder;
  if (expected.back() != L'\\') expected += L'\\';
  expected += path.filename().wstring();
  return ::CompareStringOrdinal(got.c_str(), -1, expected.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// True when `path` names a link (shown as a reparse point or not): renaming or removing
// it through the system's name may act on what it leads to.
bool names_a_link(const std::filesystem::path& path) {
  Handle h(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!h.valid()) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  return (::GetFileInformationByHandle(h.get(), &info) && is_link(info.dwFileAttributes)) ||
         !opened_as_named(h.get(), path);
}

// Opens `file` itself, never what a link under its name leads to, and keeps the handle
// only for a plain file (with no other name, when `single` says so).
HANDLE open_plain(const std::filesystem::path& file, DWORD access, DWORD share, DWORD disposition,
                  bool single, std::error_code& error) {
  const HANDLE h = ::CreateFileW(file.c_str(), access, share, nullptr, disposition,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = last_windows_error();
    return h;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(h, &info)) {
    error = last_windows_error();
  } else if (is_link(info.dwFileAttributes) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    error = windows_error(ERROR_STOPPED_ON_SYMLINK);
  } else if (single && info.nNumberOfLinks > 1) {
    error = windows_error(ERROR_TOO_MANY_LINKS);
  } else if (!opened_as_named(h, file)) {
    error = windows_error(ERROR_STOPPED_ON_SYMLINK);
  } else {
    error.clear();
    return h;
  }
  ::CloseHandle(h);
  return INVALID_HANDLE_VALUE;
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

std::error_code WinFileSystem::linked_folder(const std::filesystem::path& path) const {
  const std::filesystem::path folder = path.parent_path();
  if (own_folders_.count(folder_key(folder)) == 0) return {};
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (attributes(folder, data) && is_link(data.dwFileAttributes)) {
    return windows_error(ERROR_STOPPED_ON_SYMLINK);
  }
  Handle opened(::CreateFileW(folder.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (opened.valid() && !opened_as_named(opened.get(), folder)) {
    return windows_error(ERROR_STOPPED_ON_SYMLINK);
  }
  return {};
}

std::error_code WinFileSystem::create_directory(const std::filesystem::path& dir) {
  own_folders_.insert(folder_key(dir));
  if (const std::error_code e = linked_folder(dir)) return e;
  if (!::CreateDirectoryW(dir.c_str(), nullptr)) {
    const std::error_code e = last_windows_error();
    // A link in the folder's place is refused: the files would land wherever it leads.
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (attributes(dir, data) && is_link(data.dwFileAttributes)) {
      return windows_error(ERROR_STOPPED_ON_SYMLINK);
    }
    return e;
  }
  return {};
}

bool WinFileSystem::is_regular_file(const std::filesystem::path& file) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  return !linked_folder(file) && attributes(file, data) &&
         !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !is_link(data.dwFileAttributes) &&
         !names_a_link(file);
}

bool WinFileSystem::is_directory(const std::filesystem::path& dir) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!attributes(dir, data) || !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  return own_folders_.count(folder_key(dir)) == 0 || !is_link(data.dwFileAttributes);
}

std::error_code WinFileSystem::remove(const std::filesystem::path& file) {
  if (const std::error_code e = linked_folder(file)) return e;
  // Under Wine a link of the POSIX system beneath shows as the file it leads to, and
  // deleting it may delete that file: such a link is left where it is.
  if (names_a_link(file)) return windows_error(ERROR_STOPPED_ON_SYMLINK);
  if (!::DeleteFileW(file.c_str())) return last_windows_error();
  return {};
}

std::error_code WinFileSystem::rename(const std::filesystem::path& from,
                                      const std::filesystem::path& to) {
  if (const std::error_code e = linked_folder(from)) return e;
  if (const std::error_code e = linked_folder(to)) return e;
  // Moving a link by its name may move what it leads to (Wine, for a link of the POSIX
  // system beneath); a link under the name `to` is replaced itself.
  if (names_a_link(from)) return windows_error(ERROR_STOPPED_ON_SYMLINK);
  // Write-through: the call returns once the new name is on the disk. A link under the
  // name `to` is replaced itself.
  if (!::MoveFileExW(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return last_windows_error();
  }
  return {};
}

void WinFileSystem::remove_stale_fresh_files(const std::filesystem::path& file) {
  const std::wstring prefix = L"." + file.filename().wstring() + L".";
  WIN32_FIND_DATAW found{};
  const HANDLE search =
      ::FindFirstFileW((file.parent_path() / (prefix + L"*.tmp")).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  std::vector<std::filesystem::path> stale;
  do {
    const std::wstring name = found.cFileName;
    if (name.size() <= prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::wstring tag = name.substr(prefix.size(), name.size() - prefix.size() - 4);
    const std::size_t dash = tag.find(L'-');
    if (dash == 0 || dash == std::wstring::npos || tag.find_first_not_of(L"0123456789") != dash) {
      continue;
    }
    const unsigned long pid = std::wcstoul(tag.substr(0, dash).c_str(), nullptr, 10);
    if (pid == 0 || pid == ::GetCurrentProcessId()) continue;
    // A process that no longer runs cannot be opened; its temporaries are stale.
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process != nullptr) {
      ::CloseHandle(process);
    } else if (::GetLastError() == ERROR_INVALID_PARAMETER) {
      stale.push_back(file.parent_path() / name);
    }
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  // Removed by name, never opened; a link among them is left where it is.
  for (const std::filesystem::path& s : stale) remove(s);
}

std::unique_ptr<TextFile> WinFileSystem::open(const std::filesystem::path& file, OpenMode mode,
                                              std::error_code& error) {
  if ((error = linked_folder(file))) return nullptr;
  if (mode == OpenMode::Append) {
    const HANDLE h = open_plain(file, GENERIC_WRITE, kShareAll, OPEN_ALWAYS, true, error);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    // The folder is this run's alone while it writes, so the end found now stays the end.
    if (!::SetFilePointerEx(h, LARGE_INTEGER{}, nullptr, FILE_END)) {
      error = last_windows_error();
      ::CloseHandle(h);
      return nullptr;
    }
    return std::make_unique<WinTextFile>(h);
  }
  // A file written afresh is a new file under a name no one else has taken, renamed
  // over the old name: whatever was there (a link, a file with a second name) is
  // replaced, never written into.
  remove_stale_fresh_files(file);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path fresh = file.parent_path() / (L"." + file.filename().wstring() + L"." +
                                                        std::to_wstring(::GetCurrentProcessId()) +
                                                        L"-" + std::to_wstring(attempt) + L".tmp");
    const HANDLE h = ::CreateFileW(fresh.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_EXISTS) continue;
    if (h == INVALID_HANDLE_VALUE) {
      error = last_windows_error();
      return nullptr;
    }
    if (!::MoveFileExW(fresh.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      error = last_windows_error();
      ::CloseHandle(h);
      ::DeleteFileW(fresh.c_str());
      return nullptr;
    }
    error.clear();
    return std::make_unique<WinTextFile>(h);
  }
  error = std::make_error_code(std::errc::file_exists);
  return nullptr;
}

std::uintmax_t WinFileSystem::file_size(const std::filesystem::path& file, std::error_code& error) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if ((error = linked_folder(file))) return 0;
  if (!attributes(file, data)) {
    error = last_windows_error();
    return 0;
  }
  // A link is no output file: its size would be that of someone else's file.
  if (is_link(data.dwFileAttributes)) {
    error = windows_error(ERROR_STOPPED_ON_SYMLINK);
    return 0;
  }
  error.clear();
  return (static_cast<std::uintmax_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string WinFileSystem::read(const std::filesystem::path& file, std::uintmax_t offset,
                                std::size_t length, std::error_code& error) {
  if ((error = linked_folder(file))) return {};
  // Read only through a plain file: a link planted in a shared folder would otherwise
  // carry another file's content into the chart page or the trace.
  Handle in(open_plain(file, GENERIC_READ, kShareAll, OPEN_EXISTING, false, error));
  if (!in.valid()) return {};
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
  if ((error = linked_folder(file))) return nullptr;
  // Nothing is ever written to the lock file, so a second name of it does no harm.
  const HANDLE h = open_plain(file, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS, false, error);
  if (h == INVALID_HANDLE_VALUE) {
    if (error == windows_error(ERROR_SHARING_VIOLATION)) {
      error = std::make_error_code(std::errc::resource_unavailable_try_again);
    }
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
