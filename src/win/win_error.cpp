#include "win/win_error.h"

#include <windows.h>

#include "win/utf16.h"

namespace tavric::win {
namespace {

class WindowsCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "windows"; }

  std::string message(int code) const override {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring sentence = n && text ? std::wstring(text, n) : std::wstring();
    if (text) ::LocalFree(text);
    while (!sentence.empty() && (sentence.back() == L'\r' || sentence.back() == L'\n' ||
                                 sentence.back() == L' ' || sentence.back() == L'.')) {
      sentence.pop_back();
    }
    if (sentence.empty()) return "Windows error " + std::to_string(code);
    return to_utf8(sentence);
  }

  std::error_condition default_error_condition(int code) const noexcept override {
    return std::system_category().default_error_condition(code);
  }
};

const WindowsCategory& windows_category() {
  static const WindowsCategory category;
  return category;
}

}  // namespace

std::error_code windows_error(unsigned long code) {
  return {static_cast<int>(code), windows_category()};
}

std::error_code last_windows_error() {
  return windows_error(::GetLastError());
}

}  // namespace tavric::win
