#pragma once

#include <filesystem>
#include <optional>

#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/digest.h"
#include "platform/file_system.h"
#include "platform/run_log.h"
#include "platform/serial_port.h"
#include "platform/settings_store.h"
#include "platform/window.h"

namespace tavric {

// Everything the run needs from outside, implemented once with Qt for the real
// program and once with scripted answers and virtual time for the tests.
struct Platform {
  Window& window;
  Dialogs& dialogs;
  SerialPort& port;
  SettingsStore& settings;
  Clock& clock;
  FileSystem& files;
  std::filesystem::path output_dir;  // receives "Tavric Dumps" and the probe data file
  RunLog* log = nullptr;             // when set, the run notes its decisions there
  // How long the run waits while another run holds the output folder; none: as long as
  // it takes (a person can close the window meanwhile).
  std::optional<MonoTime> folder_wait{};
  // The system's SHA-256; without one, a PIN the SIM refused cannot be remembered.
  const Digest* digest = nullptr;
};

}  // namespace tavric
