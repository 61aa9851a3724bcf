#include "link/pin_memory.h"

#include <chrono>

#include "platform/run_log.h"

namespace tavric {
namespace {

namespace fs = std::filesystem;

constexpr int kStretch = 5000;
constexpr std::size_t kLargest = 1 << 16;  // a record larger than this is not ours
constexpr const char* kSaltLine = "salt ";

std::string read_all(FileSystem& files, const fs::path& file) {
  if (!files.is_regular_file(file)) return {};
  std::error_code error;
  std::string text = files.read(file, 0, kLargest, error);
  return error ? std::string() : text;
}

// The salt of the record: its first line. Empty when there is no record yet.
std::string salt_of(const std::string& record) {
  if (record.rfind(kSaltLine, 0) != 0) return {};
  const std::size_t end = record.find('\n');
  return end == std::string::npos ? std::string() : record.substr(5, end - 5);
}

}  // namespace

fs::path RefusedPinsPath(const PinMemory& m) {
  return m.folder / kRefusedPinsFile;
}

std::string RefusedPinKey(const Digest& digest, const std::string& salt, const std::string& pin,
                          const std::string& cell) {
  std::string key = digest.sha256_hex(salt + "\n" + cell + "\n" + pin);
  for (int i = 0; i < kStretch; ++i) key = digest.sha256_hex(salt + key);
  return key;
}

bool PinRefusedBefore(PinMemory& m, const std::string& pin, const std::string& cell) {
  if (m.digest == nullptr) return false;
  const std::string record = read_all(m.files, RefusedPinsPath(m));
  const std::string salt = salt_of(record);
  if (salt.empty()) return false;
  const std::string key = RefusedPinKey(*m.digest, salt, pin, cell);
  return !key.empty() && record.find("\n" + key + "\n") != std::string::npos;
}

void RememberRefusedPin(PinMemory& m, const std::string& pin, const std::string& cell) {
  const fs::path file = RefusedPinsPath(m);
  if (m.digest == nullptr) {
    log_note(m.log, "cannot remember the refused PIN: no digest to keep it by");
    return;
  }
  const Digest& digest = *m.digest;
  std::string record = read_all(m.files, file);
  std::string salt = salt_of(record);
  if (salt.empty()) {
    // Unique to this record: the moment it was begun, on both clocks.
    const LocalDateTime now = m.clock.local_now();
    salt = digest
               .sha256_hex(format_date(now) + format_time(now) +
                           std::to_string(m.clock.monotonic().count()))
               .substr(0, 32);
    record = kSaltLine + salt + "\n";
  }
  const std::string key = salt.empty() ? std::string() : RefusedPinKey(digest, salt, pin, cell);
  if (key.empty()) {
    log_note(m.log, "cannot remember the refused PIN: the system's digest failed");
    return;
  }
  record += key + "\n";
  std::error_code error;
  m.files.create_directory(file.parent_path());
  // Written whole under a new name and then renamed, so that a run cut short never
  // leaves half a record.
  const fs::path fresh = file.string() + ".new";
  std::unique_ptr<TextFile> out = m.files.open(fresh, OpenMode::Replace, error);
  if (out) error = out->write(record);
  if (out && !error) error = out->sync();
  if (out && !error) error = out->close();
  if (out && !error) error = m.files.rename(fresh, file);
  if (!out || error) {
    log_note(m.log,
             "cannot remember the refused PIN in " + path_text(file) + ": " + error.message());
    m.files.remove(fresh);
    return;
  }
  log_note(m.log, "refused PIN remembered (as a digest) in " + path_text(file));
}

}  // namespace tavric
