#pragma once

#include <filesystem>
#include <string>

#include "platform/clock.h"
#include "platform/digest.h"
#include "platform/file_system.h"
#include "platform/run_log.h"

namespace tavric {

// The file, in the state folder, that remembers the PINs a SIM refused.
inline constexpr const char* kRefusedPinsFile = "refused-pins";

// Where the PINs a SIM refused are remembered, and with what.
struct PinMemory {
  FileSystem& files;
  // The program's state folder, or the output folder when the program gives none.
  std::filesystem::path folder;
  // The system's SHA-256; without one, a refused PIN cannot be remembered.
  const Digest* digest = nullptr;
  Clock& clock;  // the salt of a new record is drawn from it
  RunLog* log = nullptr;
};

// The file that remembers the refused PINs.
std::filesystem::path RefusedPinsPath(const PinMemory& m);

// True when the SIM refused `pin` before, with `cell` the number being called. A SIM
// locks itself after three wrong PINs, and a scheduled run would send the same wrong
// PIN every time: such a PIN is never sent again.
bool PinRefusedBefore(PinMemory& m, const std::string& pin, const std::string& cell);

// Remembers that the SIM refused `pin`. Only a salted, stretched digest of the PIN and
// the cell number is kept, never the PIN itself.
void RememberRefusedPin(PinMemory& m, const std::string& pin, const std::string& cell);

// The key a PIN is remembered by: the digest of the salt, the cell number and the PIN,
// hashed again many times so that trying all 10000 PINs takes a while.
std::string RefusedPinKey(const Digest& digest, const std::string& salt, const std::string& pin,
                          const std::string& cell);

}  // namespace tavric
