#pragma once

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
  virtual std::error_code sync() = 0;  // flush and fsync
  virtual std::error_code close() = 0;
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
  virtual std::error_code copy(const std::filesystem::path& from,
                               const std::filesystem::path& to) = 0;
  virtual std::unique_ptr<TextFile> open(const std::filesystem::path& file, OpenMode mode,
                                         std::error_code& error) = 0;
  virtual std::uintmax_t file_size(const std::filesystem::path& file, std::error_code& error) = 0;
  virtual std::error_code sync_directory(const std::filesystem::path& dir) = 0;
};

// The machine's own file system (POSIX).
class PosixFileSystem : public FileSystem {
 public:
  std::error_code create_directory(const std::filesystem::path& dir) override;
  bool is_regular_file(const std::filesystem::path& file) override;
  bool is_directory(const std::filesystem::path& dir) override;
  std::error_code remove(const std::filesystem::path& file) override;
  std::error_code copy(const std::filesystem::path& from, const std::filesystem::path& to) override;
  std::unique_ptr<TextFile> open(const std::filesystem::path& file, OpenMode mode,
                                 std::error_code& error) override;
  std::uintmax_t file_size(const std::filesystem::path& file, std::error_code& error) override;
  std::error_code sync_directory(const std::filesystem::path& dir) override;
};

}  // namespace tavric
