#include "win/command_args.h"

#include <windows.h>

#include <shellapi.h>

#include "win/utf16.h"

namespace tavric::win {

std::vector<std::string> command_arguments(const wchar_t* command_line) {
  std::vector<std::string> arguments;
  int count = 0;
  wchar_t** words = ::CommandLineToArgvW(command_line, &count);
  if (!words) return arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(to_utf8(words[i]));
  ::LocalFree(words);
  return arguments;
}

}  // namespace tavric::win
