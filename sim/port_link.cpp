#include "sim/port_link.h"

#include <system_error>

namespace tavric::sim {

namespace fs = std::filesystem;

std::string claim_port_link(const fs::path& link, const std::string& device) {
  std::error_code e;
  fs::create_directories(link.parent_path(), e);
  const fs::file_status status = fs::symlink_status(link, e);
  if (fs::is_symlink(status)) {
    const fs::path target = fs::read_symlink(link, e);
    // exists() follows the link: false when it leads nowhere.
    const bool dangling = !fs::exists(link, e) && !e;
    if (target != device && !dangling) {
      return link.string() + " leads to " + target.string() +
             ", which exists; not replacing it (remove it, or serve another --port)";
    }
    fs::remove(link, e);
    if (e) return "cannot replace " + link.string() + ": " + e.message();
  } else if (fs::exists(status)) {
    return link.string() + " exists and is not a link; not replacing it";
  }
  fs::create_symlink(device, link, e);
  if (e) return "cannot create " + link.string() + ": " + e.message();
  return {};
}

void release_port_link(const fs::path& link, const std::string& device) {
  std::error_code e;
  if (fs::is_symlink(fs::symlink_status(link, e)) && fs::read_symlink(link, e) == device) {
    fs::remove(link, e);
  }
}

}  // namespace tavric::sim
