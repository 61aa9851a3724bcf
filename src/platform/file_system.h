#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

namespace tavric {

// One open output file. Writes are buffered; `sync` pushes them to the disk.
// Every operation reports the system's reason when it fails.
class TextFile {
 public:
  virtual ~TextFile() = default;
  virtual std::error_code write(std::string_view text) = 0;
  virtual std::error_code sync() = 0;  // flush and make durable
  virtual std::error_code close() = 0;
};

// An exclusive lock on a file, held until the object is destroyed. The system lets go
// of it when the process ends in any way, so a killed run never leaves it behind.
class FileLock {
 public:
  virtual ~FileLock() = default;
};

enum class OpenMode { Replace, Append };

// The file operations the output files need.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual std::error_code create_directory(const std::filesystem::path& dir) = 0;
  virtual bool is_regular_file(const std::filesystem::path& file) = 0;
  virtual bool is_directory(const std::filesystem::path& dir) = 0;
  virtual std::error_code remove(const std::filesystem::path& file) = 0;
  // Gives `from` the name `to` in one step, replacing a file called `to`; it needs no
  // free space and either happens whole or not at all.
  virtual std::error_code rename(const std::filesystem::path& from,
                                 const std::filesystem::path& to) = 0;
  virtual std::unique_ptr<TextFile> open(const std::filesystem::path& file, OpenMode mode,
                                         std::error_code& error) = 0;
  virtual std::uintmax_t file_size(const std::filesystem::path& file, std::error_code& error) = 0;
  // Up to `length` bytes of `file` from `offset` on (fewer at its end).
  virtual std::string read(const std::filesystem::path& file, std::uintmax_t offset,
                           std::size_t length, std::error_code& error) = 0;
  virtual std::error_code sync_directory(const std::filesystem::path& dir) = 0;
  // Takes the exclusive lock of `file`, creating the file when it is missing. Gives
  // nothing when another process holds the lock (`error` is then
  // std::errc::resource_unavailable_try_again) or the file cannot be made.
  virtual std::unique_ptr<FileLock> try_lock(const std::filesystem::path& file,
                                             std::error_code& error) = 0;
};

// The error `try_lock` reports while another process holds the lock.
inline bool held_elsewhere(std::error_code error) {
  return error == std::errc::resource_unavailable_try_again;
}

// A path as UTF-8 text, for messages and the trace, whatever the system's own encoding.
inline std::string path_text(const std::filesystem::path& p) {
  const std::u8string text = p.u8string();
  return std::string(text.begin(), text.end());
}

// The path that UTF-8 text names (a command line's value, a prompt's answer).
inline std::filesystem::path path_from_text(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace tavric
