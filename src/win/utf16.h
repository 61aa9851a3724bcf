#pragma once

#include <string>
#include <string_view>

namespace tavric::win {

// The program's texts are UTF-8; the Windows API takes and gives UTF-16.
std::wstring to_utf16(std::string_view utf8);
std::string to_utf8(std::wstring_view utf16);

}  // namespace tavric::win
