#include "win/win_dialogs.h"

#include <windows.h>

#include "app/port_text.h"
#include "win/input_prompt.h"
#include "win/main_window.h"
#include "win/utf16.h"

namespace tavric::win {

std::wstring display_text(const std::string& text) {
  const std::wstring wide = to_utf16(text);
  std::wstring out;
  out.reserve(wide.size() + 8);
  for (std::size_t i = 0; i < wide.size(); ++i) {
    const wchar_t c = wide[i];
    if (c == L'\r' || c == L'\n') {
      out += L"\r\n";
      if (c == L'\r' && i + 1 < wide.size() && wide[i + 1] == L'\n') ++i;
    } else {
      out += c;
    }
  }
  return out;
}

void WinDialogs::message(const std::string& title, const std::string& text) {
  ::MessageBoxW(window_.hwnd(), display_text(text).c_str(), to_utf16(title).c_str(),
                MB_OK | MB_ICONINFORMATION);
  window_.check_open();
}

std::string WinDialogs::prompt(const std::string& title, const std::string& text,
                               const std::string& default_text) {
  std::wstring shown = display_text(text);
  if (port_note && asks_for_port(title)) shown += L"\r\n\r\n" + display_text(port_note());
  const auto answer = ask_text(window_.hwnd(), to_utf16(title), shown, to_utf16(default_text));
  window_.check_open();
  return answer ? to_utf8(*answer) : std::string();
}

}  // namespace tavric::win
