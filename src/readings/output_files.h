#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/file_system.h"
#include "platform/run_log.h"
#include "readings/kept_lines.h"

namespace tavric {

inline constexpr const char* kDumpFolder = "Tavric Dumps";
inline constexpr const char* kProbeDataFile = "Tavric Probe Data.csv";

// The run's output in its folder: the folder's lock, the dump file and the probe data
// file while the download has them open, the lines kept back by earlier runs, and the
// first failure of any of them.
class OutputFiles {
 public:
  OutputFiles(FileSystem& files, std::filesystem::path folder, RunLog* log);
  ~OutputFiles();
  OutputFiles(const OutputFiles&) = delete;
  OutputFiles& operator=(const OutputFiles&) = delete;

  const std::filesystem::path& folder() const { return dir_; }

  // Holds the output folder's lock from before the port is opened to the end of the run.
  void hold_folder(std::unique_ptr<FileLock> lock) { FolderLock_ = std::move(lock); }
  void release_folder() { FolderLock_.reset(); }

  // Creates the dump folder, rotates Dump00..Dump99, opens Dump00.csv afresh as the
  // dump file and the probe data file for appending, with their header lines.
  void PrepareOutputFiles();

  // Writes to the dump file / probe data file; a failure is recorded as the fault.
  void WriteDump(std::string_view text);
  void WriteProbe(std::string_view text);

  // Flushes both files to the disk (and their folders), then closes them. A failure is
  // recorded as the fault.
  void CloseOutputFiles();

  // Whether either file is open.
  bool any_open() const { return DumpFile_ != nullptr || ProbeFile_ != nullptr; }

  // The window closes in the middle of a run: the files written so far are closed
  // intact, every finished line on disk, and the folder is let go.
  void CloseUnsynced();

  // After the server confirmed that its store is empty: the lines earlier runs kept
  // back cannot come again.
  void ForgetKeptLines();

  // The first failure of the output folder or files in this run ("<file>: <reason>");
  // empty while every file step has worked. A run with a failure keeps the store.
  const std::string& OutputFault() const { return OutputFault_; }

 private:
  // Keeps the first failure of the run: it names the file whose readings are at risk.
  void record_fault(const std::filesystem::path& path, std::error_code error);
  template <typename PathOf>
  void write_to(const std::unique_ptr<TextFile>& file, std::string_view text,
                const PathOf& path_of);
  void sync_and_close(std::unique_ptr<TextFile>& file, const std::filesystem::path& path);
  bool rotate_dumps();
  std::unique_ptr<TextFile> open_file(const std::filesystem::path& path, OpenMode mode);
  std::string file_end(const std::filesystem::path& path, std::uintmax_t size);
  void open_probe_file();

  FileSystem& files_;
  std::filesystem::path dir_;
  std::unique_ptr<FileLock> FolderLock_;
  std::unique_ptr<TextFile> DumpFile_;   // file 1
  std::unique_ptr<TextFile> ProbeFile_;  // file 2
  std::string OutputFault_;
  KeptLines kept_;
};

}  // namespace tavric
