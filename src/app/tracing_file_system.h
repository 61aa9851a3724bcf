#pragma once

#include "platform/file_system.h"
#include "platform/run_log.h"

namespace tavric {

// The output files' file system, with every change it makes noted in a log: folders
// made, files removed and renamed, and each file written with the bytes written to it
// and its size once closed. Failures are noted with their reason.
class TracingFileSystem : public FileSystem {
 public:
  TracingFileSystem(FileSystem& files, RunLog& log) : files_(files), log_(log) {}

  std::error_code create_directory(const std::filesystem::path& dir) override;
  bool is_regular_file(const std::filesystem::path& file) override {
    return files_.is_regular_file(file);
  }
  bool is_directory(const std::filesystem::path& dir) override { return files_.is_directory(dir); }
  std::error_code remove(const std::filesystem::path& file) override;
  std::error_code rename(const std::filesystem::path& from,
                         const std::filesystem::path& to) override;
  std::unique_ptr<TextFile> open(const std::filesystem::path& file, OpenMode mode,
                                 std::error_code& error) override;
  std::uintmax_t file_size(const std::filesystem::path& file, std::error_code& error) override {
    return files_.file_size(file, error);
  }
  std::string read(const std::filesystem::path& file, std::uintmax_t offset, std::size_t length,
                   std::error_code& error) override {
    return files_.read(file, offset, length, error);
  }
  std::error_code sync_directory(const std::filesystem::path& dir) override;
  std::unique_ptr<FileLock> try_lock(const std::filesystem::path& file,
                                     std::error_code& error) override {
    return files_.try_lock(file, error);
  }

 private:
  FileSystem& files_;
  RunLog& log_;
};

}  // namespace tavric
