#include "readings/output_files.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "readings/kept_lines.h"
#include "readings/number_format.h"

namespace tavric {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDumpHeader =
    "Probe ,RecNo,Date               ,T1,SM1,T2,SM2,T3,SM3,T4,SM4,T5,SM5,T6,SM6,Temp,Volts,"
    "PwrFail";
constexpr const char* kProbeHeader =
    "Probe, Date               ,Temp1,Water%1,Temp2,Water%2,Temp3,Water%3,Temp4,Water%4,"
    "Temp5,Water%5,Temp6,Water%6,Volts";

fs::path dump_folder(const fs::path& dir) {
  return dir / kDumpFolder;
}

fs::path dump_file(const fs::path& dir, int number) {
  // Two digits for the 100 dumps of the rotation; any int fits the buffer whole.
  char name[32];
  std::snprintf(name, sizeof name, "Dump%02d.csv", number);
  return dump_folder(dir) / name;
}

fs::path probe_file(const fs::path& dir) {
  return dir / kProbeDataFile;
}

}  // namespace

OutputFiles::OutputFiles(FileSystem& files, std::filesystem::path folder, RunLog* log)
    : files_(files), dir_(std::move(folder)), kept_(files, dir_, log) {}

OutputFiles::~OutputFiles() = default;

void OutputFiles::record_fault(const fs::path& path, std::error_code error) {
  if (error && OutputFault_.empty()) OutputFault_ = path_text(path) + ": " + error.message();
}

// `path_of` names the file only for a fault: building the path for every line took a
// few percent of a bulk download.
template <typename PathOf>
void OutputFiles::write_to(const std::unique_ptr<TextFile>& file, std::string_view text,
                           const PathOf& path_of) {
  const std::error_code error =
      file ? file->write(text) : std::make_error_code(std::errc::bad_file_descriptor);
  if (error) record_fault(path_of(), error);
}

void OutputFiles::sync_and_close(std::unique_ptr<TextFile>& file, const fs::path& path) {
  record_fault(path, file->sync());
  record_fault(path, file->close());
  file.reset();
}

// Shifts Dump00..Dump98 up by one number, the oldest first, by renaming: a rename
// needs no free space and happens whole or not at all, so no dump is ever cut short.
// The first step that fails ends the rotation and leaves every older dump where it
// is; true when Dump00.csv is free for this run.
bool OutputFiles::rotate_dumps() {
  FileSystem& files = files_;
  // The 100th-oldest dump goes, unless a newer one takes its name anyway.
  if (!files.is_regular_file(dump_file(dir_, 98)) && files.is_regular_file(dump_file(dir_, 99))) {
    if (const std::error_code e = files.remove(dump_file(dir_, 99))) {
      record_fault(dump_file(dir_, 99), e);
      return false;
    }
  }
  for (int i = 98; i >= 0; --i) {
    if (!files.is_regular_file(dump_file(dir_, i))) continue;
    if (const std::error_code e = files.rename(dump_file(dir_, i), dump_file(dir_, i + 1))) {
      record_fault(dump_file(dir_, i), e);
      return false;
    }
  }
  return true;
}

std::unique_ptr<TextFile> OutputFiles::open_file(const fs::path& path, OpenMode mode) {
  std::error_code error;
  auto file = files_.open(path, mode, error);
  if (!file) record_fault(path, error ? error : std::make_error_code(std::errc::io_error));
  return file;
}

// The probe data file's last bytes, to see whether it ends its last line.
std::string OutputFiles::file_end(const fs::path& path, std::uintmax_t size) {
  std::error_code error;
  const std::uintmax_t from = size >= 2 ? size - 2 : 0;
  std::string tail = files_.read(path, from, 2, error);
  if (error) record_fault(path, error);
  return tail;
}

void OutputFiles::open_probe_file() {
  FileSystem& files = files_;
  ProbeFile_ = open_file(probe_file(dir_), OpenMode::Append);
  if (!ProbeFile_) return;
  std::error_code error;
  const auto size = files.file_size(probe_file(dir_), error);
  if (error) {
    record_fault(probe_file(dir_), error);
    return;
  }
  if (size == 0) {
    WriteProbe(std::string(kProbeHeader) + std::string(kLineEnd));
  } else {
    // A last line without its end (edited by hand, cut short by a full disk) is ended
    // first, so that the run's first reading starts a line of its own.
    const std::string tail = file_end(probe_file(dir_), size);
    if (tail.ends_with('\r')) {
      WriteProbe("\n");
    } else if (!tail.empty() && !tail.ends_with('\n')) {
      WriteProbe(kLineEnd);
    }
  }
  const auto start = files.file_size(probe_file(dir_), error);
  if (!error) kept_.Load(start);
}

void OutputFiles::PrepareOutputFiles() {
  FileSystem& files = files_;
  const fs::path folder = dump_folder(dir_);
  const std::error_code made = files.create_directory(folder);
  if (made && !files.is_directory(folder)) record_fault(folder, made);

  // A dump that could not be moved on is never written over: this run then has no dump.
  if (rotate_dumps()) {
    DumpFile_ = open_file(dump_file(dir_, 0), OpenMode::Replace);
    if (DumpFile_) WriteDump(std::string(kDumpHeader) + std::string(kLineEnd));
  }
  open_probe_file();
}

void OutputFiles::WriteDump(std::string_view text) {
  write_to(DumpFile_, text, [&] { return dump_file(dir_, 0); });
}

void OutputFiles::WriteProbe(std::string_view text) {
  if (kept_.Take(text)) return;  // appended already by a run that kept the store
  write_to(ProbeFile_, text, [&] { return probe_file(dir_); });
}

void OutputFiles::CloseOutputFiles() {
  const bool dump_open = DumpFile_ != nullptr;
  const bool any_open = dump_open || ProbeFile_ != nullptr;
  if (DumpFile_) sync_and_close(DumpFile_, dump_file(dir_, 0));
  if (ProbeFile_) {
    sync_and_close(ProbeFile_, probe_file(dir_));
    std::error_code error;
    const auto end = files_.file_size(probe_file(dir_), error);
    if (!error) kept_.RecordAppended(end);
  }
  // The folders hold the new names (Dump00.csv, a first probe data file, the dump
  // folder itself); their entries reach the disk only with a sync of their own.
  if (dump_open) record_fault(dump_folder(dir_), files_.sync_directory(dump_folder(dir_)));
  if (any_open) record_fault(dir_, files_.sync_directory(dir_));
}

void OutputFiles::ForgetKeptLines() {
  kept_.Forget();
}

void OutputFiles::CloseUnsynced() {
  if (DumpFile_) DumpFile_->close();
  if (ProbeFile_) ProbeFile_->close();
  DumpFile_.reset();
  ProbeFile_.reset();
  FolderLock_.reset();
}

}  // namespace tavric
