#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace tavric::win {

// A small modal dialog over `owner`: the prompt text, an edit field holding
// `default_text` (selected), OK and Cancel. Gives the typed text, or nothing when
// cancelled or closed. Texts are UTF-16; line breaks are CR LF.
std::optional<std::wstring> ask_text(HWND owner, const std::wstring& title,
                                     const std::wstring& text, const std::wstring& default_text);

}  // namespace tavric::win
