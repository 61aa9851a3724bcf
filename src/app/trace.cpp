#include "app/trace.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>

#include "app/dialog_text.h"
#include "platform/escaped.h"
#include "platform/file_system.h"

namespace tavric {
namespace {

// Control bytes (a NUL from a noisy line, an escape sequence) as \xNN, so that a trace
// or a terminal shows them as what they are.
}  // namespace

Trace::Trace(const Clock& clock, std::unique_ptr<std::ostream> out, std::string name,
             std::ostream& err, const std::string& failure)
    : clock_(clock),
      start_(clock.monotonic()),
      out_(std::move(out)),
      name_(std::move(name)),
      err_(err) {
  if (!out_ || !*out_) give_up(failure);
}

std::unique_ptr<Trace> Trace::to_file(const Clock& clock, const std::filesystem::path& file,
                                      std::ostream& err) {
  // The trace is a new file of its own: whatever has its name (an older trace, a second
  // name of another file, a link someone planted) is replaced, never written into.
  std::error_code e;
#ifdef _WIN32
  // Removing or opening a link by its name may act on what it leads to (Wine, for a link
  // of the POSIX system beneath), and the library cannot create a file exclusively here:
  // a new empty file is renamed over the name, which replaces whatever had it.
  // Its name is one no earlier run left behind and no one can guess.
  std::filesystem::path fresh;
  std::random_device random;
  for (int attempt = 0; attempt < 100 && fresh.empty(); ++attempt) {
    std::filesystem::path name = file;
    name += ".new-" + std::to_string(random());
    if (!std::filesystem::exists(std::filesystem::symlink_status(name, e))) fresh = name;
  }
  if (fresh.empty()) {
    return std::make_unique<Trace>(clock, nullptr, path_text(file), err, "cannot be created");
  }
  std::ofstream(fresh, std::ios::out).close();
  std::filesystem::rename(fresh, file, e);
  if (e) {
    std::filesystem::remove(fresh, e);
    return std::make_unique<Trace>(clock, nullptr, path_text(file), err, "cannot be created");
  }
  constexpr auto kNew = std::ios::out | std::ios::app;
#else
  // An older file is removed first, and the trace is made only where nothing has the name
  // by then; a link, a device or a folder under that name is left alone.
  if (std::filesystem::is_regular_file(std::filesystem::symlink_status(file, e))) {
    std::filesystem::remove(file, e);
  }
  constexpr auto kNew = std::ios::out | std::ios::__noreplace;
#endif
  errno = 0;
  std::unique_ptr<std::ostream> out = std::make_unique<std::ofstream>(file, kNew);
  std::string failure = "cannot be created";
  if (!*out) {
    if (errno == EEXIST) {
      failure += ": something else has that name";
    } else if (errno != 0) {
      failure += std::string(": ") + std::strerror(errno);
    }
    out.reset();
  }
  return std::make_unique<Trace>(clock, std::move(out), path_text(file), err, failure);
}

void Trace::note(const std::string& text) {
  // A warning is for whoever reads standard error (a scheduled run's log) as well.
  if (text.rfind(kWarning, 0) == 0) {
    err_ << "probe-server-dump: " << escaped(one_line(text)) << std::endl;
  }
  if (!out_) return;
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(clock_.monotonic() - start_).count();
  // The milliseconds right-aligned in seven places, then the text on one line.
  char stamp[24];
  const auto end = std::to_chars(stamp, stamp + sizeof stamp, static_cast<long long>(ms)).ptr;
  const auto width = static_cast<std::size_t>(end - stamp);
  if (width < 7) *out_ << std::string_view("       ", 7 - width);
  *out_ << std::string_view(stamp, width) << ' ';
  const bool plain = std::none_of(text.begin(), text.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
  });
  if (plain) {
    *out_ << text << '\n';
  } else {
    *out_ << escaped(one_line(text)) << '\n';
  }
  if (!*out_) give_up("cannot be written");
}

void Trace::flush() {
  if (!out_) return;
  out_->flush();
  if (!*out_) give_up("cannot be written");
}

void Trace::give_up(const std::string& reason) {
  out_.reset();
  err_ << "probe-server-dump: the trace " << name_ << " " << reason << "; going on without it"
       << std::endl;
}

}  // namespace tavric
