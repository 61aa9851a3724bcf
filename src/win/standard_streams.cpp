#include "win/standard_streams.h"

#include "win/utf16.h"

namespace tavric::win {
namespace {

// A handle that leads somewhere: a file, a pipe or a console.
HANDLE usable(HANDLE h) {
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return nullptr;
  ::SetLastError(NO_ERROR);
  return ::GetFileType(h) == FILE_TYPE_UNKNOWN && ::GetLastError() != NO_ERROR ? nullptr : h;
}

// Where a UTF-8 text of `n` bytes can be cut without splitting a character.
std::size_t whole_characters(const std::string& text, std::size_t n) {
  std::size_t cut = n;
  while (cut > 0 && (static_cast<unsigned char>(text[cut - 1]) & 0xC0) == 0x80) --cut;
  if (cut > 0 && (static_cast<unsigned char>(text[cut - 1]) & 0x80)) {
    const unsigned char lead = static_cast<unsigned char>(text[cut - 1]);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (n - (cut - 1) >= length) return n;
    return cut - 1;
  }
  return n;
}

}  // namespace

HandleStreamBuf::HandleStreamBuf(HANDLE handle) : handle_(handle) {
  DWORD mode = 0;
  console_ = handle_ && ::GetConsoleMode(handle_, &mode);
}

HandleStreamBuf::~HandleStreamBuf() {
  sync();
}

HandleStreamBuf::int_type HandleStreamBuf::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char ch = traits_type::to_char_type(c);
  xsputn(&ch, 1);
  return c;
}

std::streamsize HandleStreamBuf::xsputn(const char* s, std::streamsize n) {
  pending_.append(s, static_cast<std::size_t>(n));
  // Whole lines go out as they are finished, so that a message shows before the run
  // goes on; a long text goes out in pieces.
  const std::size_t end = pending_.rfind('\n');
  if (end != std::string::npos) {
    write_out(end + 1);
  } else if (pending_.size() >= 4096) {
    write_out(whole_characters(pending_, pending_.size()));
  }
  return n;
}

int HandleStreamBuf::sync() {
  write_out(pending_.size());
  return 0;
}

void HandleStreamBuf::write_out(std::size_t n) {
  if (n == 0) return;
  if (handle_) {
    if (console_) {
      const std::wstring wide = to_utf16(std::string_view(pending_).substr(0, n));
      DWORD written = 0;
      ::WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
      DWORD written = 0;
      ::WriteFile(handle_, pending_.data(), static_cast<DWORD>(n), &written, nullptr);
    }
  }
  pending_.erase(0, n);
}

StandardStreams::StandardStreams() : out_(nullptr), err_(nullptr) {
  HANDLE out = usable(::GetStdHandle(STD_OUTPUT_HANDLE));
  HANDLE err = usable(::GetStdHandle(STD_ERROR_HANDLE));
  if ((!out || !err) && ::AttachConsole(ATTACH_PARENT_PROCESS)) {
    attached_ = true;
    const HANDLE console =
        ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (console != INVALID_HANDLE_VALUE) {
      if (!out) out = console;
      if (!err) err = console;
    }
  }
  out_buf_ = std::make_unique<HandleStreamBuf>(out);
  err_buf_ = std::make_unique<HandleStreamBuf>(err);
  out_.rdbuf(out_buf_.get());
  err_.rdbuf(err_buf_.get());
}

}  // namespace tavric::win
