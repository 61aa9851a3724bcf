#pragma once

#include "platform/file_system.h"

namespace tavric::win {

// The machine's own file system on Windows, with wide-character paths throughout.
class WinFileSystem : public FileSystem {
 public:
  std::error_code create_directory(const std::filesystem::path& dir) override;
  bool is_regular_file(const std::filesystem::path& file) override;
  bool is_directory(const std::filesystem::path& dir) override;
  std::error_code remove(const std::filesystem::path& file) override;
  std::error_code rename(const std::filesystem::path& from,
                         const std::filesystem::path& to) override;
  std::unique_ptr<TextFile> open(const std::filesystem::path& file, OpenMode mode,
                                 std::error_code& error) override;
  std::uintmax_t file_size(const std::filesystem::path& file, std::error_code& error) override;
  std::string read(const std::filesystem::path& file, std::uintmax_t offset, std::size_t length,
                   std::error_code& error) override;
  std::error_code sync_directory(const std::filesystem::path& dir) override;
  std::unique_ptr<FileLock> try_lock(const std::filesystem::path& file,
                                     std::error_code& error) override;
};

}  // namespace tavric::win
