#pragma once

#include <set>
#include <string>

#include "platform/file_system.h"

namespace tavric {

// The machine's own file system (POSIX), safe in a folder that other users may write:
// the last name of a path is never followed when it is a link, a file is replaced by a
// new one made under a name nobody else can have taken and renamed into place, and a
// folder this program makes is never entered through a link put in its place.
class PosixFileSystem : public FileSystem {
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

 private:
  // The folder that holds `path`, opened for the *at calls (-1 and errno when it cannot
  // be); `name` gets the last name of `path`.
  int open_folder_of(const std::filesystem::path& path, std::string& name, bool readable) const;

  // Folders this program makes: a link under their name is not followed.
  std::set<std::string> own_folders_;
};

}  // namespace tavric
