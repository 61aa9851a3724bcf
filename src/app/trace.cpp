#include "app/trace.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "app/dialog_text.h"
#include "platform/file_system.h"

namespace tavric {

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
  errno = 0;
  std::unique_ptr<std::ostream> out = std::make_unique<std::ofstream>(file, std::ios::trunc);
  std::string failure = "cannot be created";
  if (!*out) {
    if (errno != 0) failure += std::string(": ") + std::strerror(errno);
    out.reset();
  }
  return std::make_unique<Trace>(clock, std::move(out), path_text(file), err, failure);
}

void Trace::note(const std::string& text) {
  if (!out_) return;
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(clock_.monotonic() - start_).count();
  // The milliseconds right-aligned in seven places, then the text on one line.
  char stamp[24];
  const auto end = std::to_chars(stamp, stamp + sizeof stamp, static_cast<long long>(ms)).ptr;
  const auto width = static_cast<std::size_t>(end - stamp);
  if (width < 7) *out_ << std::string_view("       ", 7 - width);
  *out_ << std::string_view(stamp, width) << ' ';
  if (text.find_first_of("\r\n") == std::string::npos) {
    *out_ << text << '\n';
  } else {
    *out_ << one_line(text) << '\n';
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
