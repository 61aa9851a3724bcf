#pragma once

#include <string>
#include <system_error>

namespace tavric::win {

// A Windows error code as an error_code: it compares equal to the matching std::errc
// (ERROR_FILE_NOT_FOUND to no_such_file_or_directory, and so on), and its message is
// the system's own sentence without the closing full stop and line break, so that it
// reads well inside the program's messages.
std::error_code windows_error(unsigned long code);
std::error_code last_windows_error();  // GetLastError() as above

}  // namespace tavric::win
