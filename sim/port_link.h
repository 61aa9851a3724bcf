#pragma once

#include <filesystem>
#include <string>

namespace tavric::sim {

// Points the port link `link` (a comN link of the settings folder) at the simulator's
// `device`. A link that already leads there, or that leads nowhere (left by a simulator
// that was killed), is replaced; a link to a device that exists, which may be the real
// port the user set up, and a file that is not a link are left alone. Returns an empty
// text on success, otherwise one line saying why the link was not made.
std::string claim_port_link(const std::filesystem::path& link, const std::string& device);

// Removes `link` if it still leads to `device`: a later simulator or the user may have
// pointed it elsewhere meanwhile.
void release_port_link(const std::filesystem::path& link, const std::string& device);

}  // namespace tavric::sim
