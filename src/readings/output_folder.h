#pragma once

#include <memory>

#include "platform/platform.h"
#include "session/feedback.h"

namespace tavric {

inline constexpr const char* kFolderLockFile = "Tavric Download.lock";

// Makes the output folder with its parents and takes its lock, before the server is
// touched: one run at a time writes a folder's dumps and probe data. While another run
// holds the lock it waits, saying why on the event line, as long as the platform allows;
// then, or when the folder cannot be made, it tells the user and ends the program.
// Gives the lock, held until it is let go.
std::unique_ptr<FileLock> TakeOutputFolder(Platform& p, Feedback& feedback);

}  // namespace tavric
