#pragma once

#include <filesystem>
#include <string>

#include "platform/digest.h"
#include "session/session.h"

namespace tavric {

// The file, in the state folder, that remembers the PINs a SIM refused.
inline constexpr const char* kRefusedPinsFile = "refused-pins";

// Where the refused PINs are remembered: the state folder the program gives the run,
// or the output folder when it gives none.
std::filesystem::path RefusedPinsPath(const Session& s);

// True when the SIM refused `pin` before, with `cell` the number being called. A SIM
// locks itself after three wrong PINs, and a scheduled run would send the same wrong
// PIN every time: such a PIN is never sent again.
bool PinRefusedBefore(Session& s, const std::string& pin, const std::string& cell);

// Remembers that the SIM refused `pin`. Only a salted, stretched digest of the PIN and
// the cell number is kept, never the PIN itself.
void RememberRefusedPin(Session& s, const std::string& pin, const std::string& cell);

// The key a PIN is remembered by: the digest of the salt, the cell number and the PIN,
// hashed again many times so that trying all 10000 PINs takes a while.
std::string RefusedPinKey(const Digest& digest, const std::string& salt, const std::string& pin,
                          const std::string& cell);

}  // namespace tavric
