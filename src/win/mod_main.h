#pragma once

#include <string>
#include <vector>

namespace modMain {

// The program's entry: reads the command line, then shows the main window, whose
// timer starts the download run; returns the exit status when the program ends.
int Main(const std::vector<std::string>& arguments);

}  // namespace modMain
