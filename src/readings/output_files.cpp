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

fs::path dump_folder(const Session& s) {
  return s.p.output_dir / kDumpFolder;
}

fs::path dump_file(const Session& s, int number) {
  // Two digits for the 100 dumps of the rotation; any int fits the buffer whole.
  char name[32];
  std::snprintf(name, sizeof name, "Dump%02d.csv", number);
  return dump_folder(s) / name;
}

fs::path probe_file(const Session& s) {
  return s.p.output_dir / kProbeDataFile;
}

// Keeps the first failure of the run: it names the file whose readings are at risk.
void record_fault(Session& s, const fs::path& path, std::error_code error) {
  if (error && s.OutputFault.empty()) s.OutputFault = path_text(path) + ": " + error.message();
}

// `path_of` names the file only for a fault: building the path for every line took a
// few percent of a bulk download.
template <typename PathOf>
void write_to(Session& s, const std::unique_ptr<TextFile>& file, std::string_view text,
              const PathOf& path_of) {
  const std::error_code error =
      file ? file->write(text) : std::make_error_code(std::errc::bad_file_descriptor);
  if (error) record_fault(s, path_of(), error);
}

void sync_and_close(Session& s, std::unique_ptr<TextFile>& file, const fs::path& path) {
  record_fault(s, path, file->sync());
  record_fault(s, path, file->close());
  file.reset();
}

// Shifts Dump00..Dump98 up by one number, the oldest first, by renaming: a rename
// needs no free space and happens whole or not at all, so no dump is ever cut short.
// The first step that fails ends the rotation and leaves every older dump where it
// is; true when Dump00.csv is free for this run.
bool rotate_dumps(Session& s) {
  FileSystem& files = s.p.files;
  // The 100th-oldest dump goes, unless a newer one takes its name anyway.
  if (!files.is_regular_file(dump_file(s, 98)) && files.is_regular_file(dump_file(s, 99))) {
    if (const std::error_code e = files.remove(dump_file(s, 99))) {
      record_fault(s, dump_file(s, 99), e);
      return false;
    }
  }
  for (int i = 98; i >= 0; --i) {
    if (!files.is_regular_file(dump_file(s, i))) continue;
    if (const std::error_code e = files.rename(dump_file(s, i), dump_file(s, i + 1))) {
      record_fault(s, dump_file(s, i), e);
      return false;
    }
  }
  return true;
}

std::unique_ptr<TextFile> open_file(Session& s, const fs::path& path, OpenMode mode) {
  std::error_code error;
  auto file = s.p.files.open(path, mode, error);
  if (!file) record_fault(s, path, error ? error : std::make_error_code(std::errc::io_error));
  return file;
}

// The probe data file's last bytes, to see whether it ends its last line.
std::string file_end(Session& s, const fs::path& path, std::uintmax_t size) {
  std::error_code error;
  const std::uintmax_t from = size >= 2 ? size - 2 : 0;
  std::string tail = s.p.files.read(path, from, 2, error);
  if (error) record_fault(s, path, error);
  return tail;
}

void open_probe_file(Session& s) {
  FileSystem& files = s.p.files;
  s.ProbeFile = open_file(s, probe_file(s), OpenMode::Append);
  if (!s.ProbeFile) return;
  std::error_code error;
  const auto size = files.file_size(probe_file(s), error);
  if (error) {
    record_fault(s, probe_file(s), error);
    return;
  }
  if (size == 0) {
    WriteProbe(s, std::string(kProbeHeader) + std::string(kLineEnd));
  } else {
    // A last line without its end (edited by hand, cut short by a full disk) is ended
    // first, so that the run's first reading starts a line of its own.
    const std::string tail = file_end(s, probe_file(s), size);
    if (tail.ends_with('\r')) {
      WriteProbe(s, "\n");
    } else if (!tail.empty() && !tail.ends_with('\n')) {
      WriteProbe(s, kLineEnd);
    }
  }
  const auto start = files.file_size(probe_file(s), error);
  if (!error) LoadKeptLines(s, start);
}

}  // namespace

void PrepareOutputFiles(Session& s) {
  FileSystem& files = s.p.files;
  const fs::path folder = dump_folder(s);
  const std::error_code made = files.create_directory(folder);
  if (made && !files.is_directory(folder)) record_fault(s, folder, made);

  // A dump that could not be moved on is never written over: this run then has no dump.
  if (rotate_dumps(s)) {
    s.DumpFile = open_file(s, dump_file(s, 0), OpenMode::Replace);
    if (s.DumpFile) WriteDump(s, std::string(kDumpHeader) + std::string(kLineEnd));
  }
  open_probe_file(s);
}

void WriteDump(Session& s, std::string_view text) {
  write_to(s, s.DumpFile, text, [&] { return dump_file(s, 0); });
}

void WriteProbe(Session& s, std::string_view text) {
  if (TakeKeptLine(s, text)) return;  // appended already by a run that kept the store
  write_to(s, s.ProbeFile, text, [&] { return probe_file(s); });
}

void CloseOutputFiles(Session& s) {
  const bool dump_open = s.DumpFile != nullptr;
  const bool any_open = dump_open || s.ProbeFile != nullptr;
  if (s.DumpFile) sync_and_close(s, s.DumpFile, dump_file(s, 0));
  if (s.ProbeFile) {
    sync_and_close(s, s.ProbeFile, probe_file(s));
    std::error_code error;
    const auto end = s.p.files.file_size(probe_file(s), error);
    if (!error) RecordAppendedLines(s, end);
  }
  // The folders hold the new names (Dump00.csv, a first probe data file, the dump
  // folder itself); their entries reach the disk only with a sync of their own.
  if (dump_open) record_fault(s, dump_folder(s), s.p.files.sync_directory(dump_folder(s)));
  if (any_open) record_fault(s, s.p.output_dir, s.p.files.sync_directory(s.p.output_dir));
}

}  // namespace tavric
