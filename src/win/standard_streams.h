#pragma once

#include <windows.h>

#include <memory>
#include <ostream>
#include <streambuf>
#include <string>

namespace tavric::win {

// Writes UTF-8 text to a Windows handle: to a console as UTF-16, so that every
// character shows; to a file or a pipe as the bytes themselves.
class HandleStreamBuf : public std::streambuf {
 public:
  explicit HandleStreamBuf(HANDLE handle);
  ~HandleStreamBuf() override;

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;

 private:
  void write_out(std::size_t n);

  HANDLE handle_;
  bool console_ = false;
  std::string pending_;
};

// The program's standard output and standard error. A program with a window has no
// console of its own: it writes to the handles it was given when they lead somewhere
// (a redirection to a file, a pipe), and otherwise to the console of the program that
// started it, when there is one; with neither, the text goes nowhere.
class StandardStreams {
 public:
  StandardStreams();
  StandardStreams(const StandardStreams&) = delete;
  StandardStreams& operator=(const StandardStreams&) = delete;

  std::ostream& out() { return out_; }
  std::ostream& err() { return err_; }
  // Whether the program shares the console of the program that started it: the
  // console's Ctrl+C then reaches it.
  bool attached_console() const { return attached_; }

 private:
  bool attached_ = false;
  std::unique_ptr<HandleStreamBuf> out_buf_;
  std::unique_ptr<HandleStreamBuf> err_buf_;
  std::ostream out_;
  std::ostream err_;
};

}  // namespace tavric::win
