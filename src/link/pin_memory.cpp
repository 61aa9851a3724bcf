#include "link/pin_memory.h"

#include <chrono>

#include "platform/run_log.h"

namespace tavric {
namespace {

namespace fs = std::filesystem;

constexpr int kStretch = 5000;
constexpr std::size_t kLargest = 1 << 16;  // a record larger than this is not ours
constexpr const char* kSaltLine = "salt ";

std::string read_all(Session& s, const fs::path& file) {
  if (!s.p.files.is_regular_file(file)) return {};
  std::error_code error;
  std::string text = s.p.files.read(file, 0, kLargest, error);
  return error ? std::string() : text;
}

// The salt of the record: its first line. Empty when there is no record yet.
std::string salt_of(const std::string& record) {
  if (record.rfind(kSaltLine, 0) != 0) return {};
  const std::size_t end = record.find('\n');
  return end == std::string::npos ? std::string() : record.substr(5, end - 5);
}

}  // namespace

fs::path RefusedPinsPath(const Session& s) {
  return (s.StateDir.empty() ? s.p.output_dir : s.StateDir) / kRefusedPinsFile;
}

std::string RefusedPinKey(const Digest& digest, const std::string& salt, const std::string& pin,
                          const std::string& cell) {
  std::string key = digest.sha256_hex(salt + "\n" + cell + "\n" + pin);
  for (int i = 0; i < kStretch; ++i) key = digest.sha256_hex(salt + key);
  return key;
}

bool PinRefusedBefore(Session& s, const std::string& pin, const std::string& cell) {
  if (s.p.digest == nullptr) return false;
  const std::string record = read_all(s, RefusedPinsPath(s));
  const std::string salt = salt_of(record);
  if (salt.empty()) return false;
  const std::string key = RefusedPinKey(*s.p.digest, salt, pin, cell);
  return !key.empty() && record.find("\n" + key + "\n") != std::string::npos;
}

void RememberRefusedPin(Session& s, const std::string& pin, const std::string& cell) {
  const fs::path file = RefusedPinsPath(s);
  if (s.p.digest == nullptr) {
    log_note(s.p.log, "cannot remember the refused PIN: no digest to keep it by");
    return;
  }
  const Digest& digest = *s.p.digest;
  std::string record = read_all(s, file);
  std::string salt = salt_of(record);
  if (salt.empty()) {
    // Unique to this record: the moment it was begun, on both clocks.
    const LocalDateTime now = s.p.clock.local_now();
    salt = digest
               .sha256_hex(format_date(now) + format_time(now) +
                           std::to_string(s.p.clock.monotonic().count()))
               .substr(0, 32);
    record = kSaltLine + salt + "\n";
  }
  const std::string key = salt.empty() ? std::string() : RefusedPinKey(digest, salt, pin, cell);
  if (key.empty()) {
    log_note(s.p.log, "cannot remember the refused PIN: the system's digest failed");
    return;
  }
  record += key + "\n";
  std::error_code error;
  s.p.files.create_directory(file.parent_path());
  // Written whole under a new name and then renamed, so that a run cut short never
  // leaves half a record.
  const fs::path fresh = file.string() + ".new";
  std::unique_ptr<TextFile> out = s.p.files.open(fresh, OpenMode::Replace, error);
  if (out) error = out->write(record);
  if (out && !error) error = out->sync();
  if (out && !error) error = out->close();
  if (out && !error) error = s.p.files.rename(fresh, file);
  if (!out || error) {
    log_note(s.p.log,
             "cannot remember the refused PIN in " + path_text(file) + ": " + error.message());
    s.p.files.remove(fresh);
    return;
  }
  log_note(s.p.log, "refused PIN remembered (as a digest) in " + path_text(file));
}

}  // namespace tavric
