#include "app/tracing_file_system.h"

#include <string>

namespace tavric {
namespace {

std::string in_quotes(const std::filesystem::path& p) {
  return "\"" + path_text(p) + "\"";
}

std::string size_text(FileSystem& files, const std::filesystem::path& file) {
  std::error_code e;
  const std::uintmax_t size = files.file_size(file, e);
  return e ? "size unknown: " + e.message() : "size " + std::to_string(size) + " bytes";
}

// An open output file that counts what is written to it and notes how it ended.
class TracingTextFile : public TextFile {
 public:
  TracingTextFile(std::unique_ptr<TextFile> file, std::filesystem::path path, FileSystem& files,
                  RunLog& log)
      : file_(std::move(file)), path_(std::move(path)), files_(files), log_(log) {}

  std::error_code write(std::string_view text) override {
    const std::error_code e = file_->write(text);
    if (!e) {
      written_ += text.size();
    } else if (!write_failed_) {
      write_failed_ = true;  // once: a failing file fails every later line too
      log_.note("file " + in_quotes(path_) + " cannot be written: " + e.message());
    }
    return e;
  }
  std::error_code sync() override {
    const std::error_code e = file_->sync();
    if (e) log_.note("file " + in_quotes(path_) + " cannot be synced: " + e.message());
    return e;
  }
  std::error_code close() override {
    const std::error_code e = file_->close();
    if (e) {
      log_.note("file " + in_quotes(path_) + " cannot be closed: " + e.message());
    } else {
      log_.note("file " + in_quotes(path_) + " written: " + std::to_string(written_) +
                " bytes this run, " + size_text(files_, path_));
    }
    return e;
  }

 private:
  std::unique_ptr<TextFile> file_;
  std::filesystem::path path_;
  FileSystem& files_;
  RunLog& log_;
  std::uintmax_t written_ = 0;
  bool write_failed_ = false;
};

}  // namespace

std::error_code TracingFileSystem::create_directory(const std::filesystem::path& dir) {
  const std::error_code e = files_.create_directory(dir);
  if (!e) log_.note("folder " + in_quotes(dir) + " created");
  return e;
}

std::error_code TracingFileSystem::remove(const std::filesystem::path& file) {
  const std::error_code e = files_.remove(file);
  log_.note("file " + in_quotes(file) + (e ? " cannot be removed: " + e.message() : " removed"));
  return e;
}

std::error_code TracingFileSystem::rename(const std::filesystem::path& from,
                                          const std::filesystem::path& to) {
  const std::error_code e = files_.rename(from, to);
  log_.note("file " + in_quotes(from) + " renamed to " + in_quotes(to) +
            (e ? " failed: " + e.message() : ""));
  return e;
}

std::unique_ptr<TextFile> TracingFileSystem::open(const std::filesystem::path& file, OpenMode mode,
                                                  std::error_code& error) {
  std::unique_ptr<TextFile> opened = files_.open(file, mode, error);
  const char* how = mode == OpenMode::Replace ? "written afresh" : "appended to";
  if (!opened) {
    log_.note("file " + in_quotes(file) + " cannot be " + how + ": " + error.message());
    return nullptr;
  }
  log_.note("file " + in_quotes(file) + " opened to be " + how);
  return std::make_unique<TracingTextFile>(std::move(opened), file, files_, log_);
}

std::error_code TracingFileSystem::sync_directory(const std::filesystem::path& dir) {
  const std::error_code e = files_.sync_directory(dir);
  if (e) log_.note("folder " + in_quotes(dir) + " cannot be synced: " + e.message());
  return e;
}

}  // namespace tavric
