#include "posix/port_check.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

namespace tavric {
namespace {

bool mentions(const std::string& text, const char* word) {
  std::string lower = text;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower.find(word) != std::string::npos;
}

bool process_in_group(gid_t gid) {
  if (::getegid() == gid) return true;
  const int n = ::getgroups(0, nullptr);
  if (n <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(n));
  const int got = ::getgroups(n, groups.data());
  return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

// Whether the user's account lists `group` (what a new login would give).
bool account_in_group(const group& g) {
  const passwd* user = ::getpwuid(::getuid());
  if (!user) return false;
  if (user->pw_gid == g.gr_gid) return true;
  for (char** member = g.gr_mem; member && *member; ++member) {
    if (std::strcmp(*member, user->pw_name) == 0) return true;
  }
  return false;
}

}  // namespace

std::string device_holder(const std::string& device) {
  std::string holders;
  std::error_code e;
  const std::string own = std::to_string(::getpid());
  for (std::filesystem::directory_iterator proc("/proc", e), end; !e && proc != end;
       proc.increment(e)) {
    const std::string pid = proc->path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos || pid == own) continue;
    std::error_code fd_error;
    for (std::filesystem::directory_iterator fd(proc->path() / "fd", fd_error), fd_end;
         !fd_error && fd != fd_end; fd.increment(fd_error)) {
      std::error_code link_error;
      if (std::filesystem::read_symlink(fd->path(), link_error) != device || link_error) continue;
      // The program's own name, which the kernel's short name may cut.
      std::string name;
      std::getline(std::ifstream(proc->path() / "cmdline"), name, '\0');
      name = std::filesystem::path(name).filename().string();
      if (name.empty()) std::getline(std::ifstream(proc->path() / "comm"), name);
      holders += (holders.empty() ? "" : " and ") + (name.empty() ? "a program" : name) +
                 " (process " + pid + ")";
      break;
    }
  }
  return holders;
}

PortFailure diagnose_device(const std::string& device, const std::filesystem::path& link,
                            const std::string& error) {
  PortFailure f;
  f.device = device;
  f.link = link.string();
  f.detail = error;
  std::error_code e;
  if (!link.empty() && !std::filesystem::exists(link, e)) {
    f.trouble = PortTrouble::DanglingLink;
    return f;
  }
  struct stat info {};
  if (::stat(device.c_str(), &info) != 0) {
    f.trouble = errno == EACCES ? PortTrouble::NoPermission : PortTrouble::Missing;
    return f;
  }
  if (!S_ISCHR(info.st_mode)) {
    f.trouble = PortTrouble::NotSerial;
    return f;
  }
  if (::access(device.c_str(), R_OK | W_OK) != 0 && errno == EACCES) {
    f.trouble = PortTrouble::NoPermission;
    if (const group* g = ::getgrgid(info.st_gid)) {
      f.group = g->gr_name;
      f.needs_new_login = account_in_group(*g) && !process_in_group(info.st_gid);
    }
    return f;
  }
  if (mentions(error, "in use") || mentions(error, "busy") || mentions(error, "lock")) {
    f.trouble = PortTrouble::InUse;
    f.holder = device_holder(device);
    return f;
  }
  // A device that opens but is no terminal (/dev/null, a sound card) is no serial port.
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    if (errno == EBUSY) {
      f.trouble = PortTrouble::InUse;
      f.holder = device_holder(device);
    }
    // A serial device whose hardware is not there (a ttyS without its chip).
    if (errno == EIO || errno == ENXIO || errno == ENODEV) f.trouble = PortTrouble::Missing;
    return f;
  }
  if (!::isatty(fd)) f.trouble = PortTrouble::NotSerial;
  ::close(fd);
  return f;
}

}  // namespace tavric
