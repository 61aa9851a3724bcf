#pragma once

#include <set>
#include <string>

#include "platform/file_system.h"

namespace tavric::win {

// The machine's own file system on Windows, with wide-character paths throughout, safe in
// a folder that other users may write: a link (a symbolic link, a junction, any reparse
// point) under a name the program uses is never followed, a file is replaced by a new
// one made under a name nobody else has and renamed into place, and a folder the program
// makes is not used when a link has taken its place.
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

 private:
  // Removes the temporaries of `file` left by runs that were killed between making one
  // and renaming it: those of processes that no longer run.
  void remove_stale_fresh_files(const std::filesystem::path& file);

  // The error for `path` when the folder that holds it is one this program makes and a
  // link now stands in its place.
  std::error_code linked_folder(const std::filesystem::path& path) const;

  std::set<std::wstring> own_folders_;
};

}  // namespace tavric::win
