#include "readings/output_folder.h"

#include <chrono>
#include <string>

#include "platform/run_control.h"
#include "session/exit_status.h"
#include "session/feedback.h"

namespace tavric {
namespace {

namespace fs = std::filesystem;

// How often a waiting run tries the lock again.
constexpr MonoTime kLockRetry = std::chrono::seconds(1);

std::error_code make_folder(FileSystem& files, const fs::path& dir) {
  if (files.is_directory(dir)) return {};
  const fs::path parent = dir.parent_path();
  if (!parent.empty() && parent != dir) {
    if (const std::error_code e = make_folder(files, parent)) return e;
  }
  const std::error_code e = files.create_directory(dir);
  // Made by another run meanwhile, or the same folder again after a trailing separator.
  return e && !files.is_directory(dir) ? e : std::error_code{};
}

[[noreturn]] void give_up(Platform& p, const std::string& title, const std::string& why,
                          int status) {
  log_note(p.log, "output folder not taken: " + why);
  p.dialogs.message(title, why + "\r" + "The server was not contacted; its readings are kept.");
  throw ProgramEnd{status};
}

}  // namespace

std::unique_ptr<FileLock> TakeOutputFolder(Platform& p, Feedback& feedback) {
  const fs::path& dir = p.output_dir;
  FileSystem& files = p.files;
  if (const std::error_code e = make_folder(files, dir)) {
    give_up(p, "ERROR",
            "Cannot make the output folder " + path_text(dir) + ": " + e.message() + ".",
            kExitOutputFailed);
  }
  const MonoTime start = p.clock.monotonic();
  bool waiting = false;
  std::unique_ptr<FileLock> lock;
  for (;;) {
    std::error_code e;
    lock = files.try_lock(dir / kFolderLockFile, e);
    if (lock) break;
    if (!held_elsewhere(e)) {
      give_up(p, "ERROR",
              "Cannot write to the output folder " + path_text(dir) + ": " + e.message() + ".",
              kExitOutputFailed);
    }
    const MonoTime waited = p.clock.monotonic() - start;
    if (p.folder_wait && waited >= *p.folder_wait) {
      const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(waited).count();
      give_up(p, "Folder In Use",
              "Another download run kept the output folder " + path_text(dir) + " for " +
                  std::to_string(seconds) + " seconds.",
              kExitFolderBusy);
    }
    if (!waiting) {
      waiting = true;
      log_note(p.log, "output folder held by another run: waiting");
      feedback.ShowEvent("Waiting for another download run to finish with " + path_text(dir) +
                         " ...");
    }
    MonoTime next = p.clock.monotonic() + kLockRetry;
    if (p.folder_wait) next = std::min(next, start + *p.folder_wait);
    p.window.sleep_until(next);
  }
  if (waiting) feedback.ShowEvent("Connecting, please wait ...");
  log_note(p.log, "output folder taken: " + path_text(dir));
  return lock;
}

}  // namespace tavric
