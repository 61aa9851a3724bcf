#include "posix/locations.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <system_error>
#include <utility>

extern char** environ;

namespace tavric {
namespace {

std::filesystem::path xdg_dir(const Environment& env, const char* variable,
                              const char* fallback_under_home) {
  auto it = env.find(variable);
  if (it != env.end() && !it->second.empty() && it->second.front() == '/') return it->second;
  auto home = env.find("HOME");
  const std::string base = home != env.end() ? home->second : std::string("/tmp");
  return std::filesystem::path(base) / fallback_under_home;
}

// The device families that have numbers by their names: the first number of each,
// and how many devices it holds.
struct PortFamily {
  const char* prefix;
  int first;
};
constexpr PortFamily kFamilies[] = {{"/dev/ttyS", 1}, {"/dev/ttyUSB", 101}, {"/dev/ttyACM", 201}};
constexpr int kFamilySize = 100;

// The device named on the command line, which the run's port number leads to.
std::optional<std::pair<int, std::string>>& named_device() {
  static std::optional<std::pair<int, std::string>> named;
  return named;
}

// `path` followed to the end of its links, or as given when it leads nowhere.
std::string followed(const std::string& path) {
  std::error_code e;
  const std::filesystem::path real = std::filesystem::canonical(path, e);
  return e ? path : real.string();
}

}  // namespace

Environment process_environment() {
  Environment env;
  for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "HOME"}) {
    if (const char* v = std::getenv(name)) env[name] = v;
  }
  return env;
}

std::filesystem::path settings_dir(const Environment& env) {
  return xdg_dir(env, "XDG_CONFIG_HOME", ".config") / "RNQ7";
}

std::filesystem::path state_dir(const Environment& env) {
  return xdg_dir(env, "XDG_STATE_HOME", ".local/state") / "RNQ7";
}

std::filesystem::path trace_dir(const Environment& env) {
  return state_dir(env) / "traces";
}

int system_port_number(const std::string& device) {
  for (const PortFamily& f : kFamilies) {
    const std::string prefix = f.prefix;
    if (device.size() <= prefix.size() || device.size() > prefix.size() + 2 ||
        device.compare(0, prefix.size(), prefix) != 0) {
      continue;
    }
    int k = 0;
    for (std::size_t i = prefix.size(); i < device.size(); ++i) {
      if (device[i] < '0' || device[i] > '9') return 0;
      k = k * 10 + (device[i] - '0');
    }
    // "ttyS01" is no device name.
    if (device.size() == prefix.size() + 2 && device[prefix.size()] == '0') return 0;
    return f.first + k;
  }
  return 0;
}

std::filesystem::path port_link(int number, const std::filesystem::path& settings_folder) {
  const std::filesystem::path link = settings_folder / ("com" + std::to_string(number));
  std::error_code e;
  return std::filesystem::is_symlink(link, e) ? link : std::filesystem::path();
}

std::string port_device_path(int number, const std::filesystem::path& settings_folder) {
  if (named_device() && named_device()->first == number) return named_device()->second;
  const std::filesystem::path link = port_link(number, settings_folder);
  if (link.empty()) {
    for (const PortFamily& f : kFamilies) {
      if (number >= f.first && number < f.first + kFamilySize) {
        return f.prefix + std::to_string(number - f.first);
      }
    }
    return "/dev/ttyS" + std::to_string(number - 1);
  }
  // Followed to the end of its chain of links, so that one device reached under two
  // names (a by-id link and the plain one) is known as one device.
  std::error_code e;
  const std::filesystem::path real = std::filesystem::canonical(link, e);
  if (!e) return real.string();
  // A link to nothing yet (an adapter unplugged): its own target, for the message.
  const std::filesystem::path target = std::filesystem::read_symlink(link, e);
  if (e) return link.string();
  return (target.is_absolute() ? target : settings_folder / target).lexically_normal().string();
}

int port_number_of(const std::string& device, const std::filesystem::path& settings_folder) {
  const std::string real = followed(device);
  int lowest = 0;
  std::error_code e;
  for (std::filesystem::directory_iterator it(settings_folder, e), end; !e && it != end;
       it.increment(e)) {
    const std::string name = it->path().filename().string();
    if (name.size() < 4 || name.size() > 8 || name.compare(0, 3, "com") != 0 ||
        name.find_first_not_of("0123456789", 3) != std::string::npos || name[3] == '0') {
      continue;
    }
    const int number = std::stoi(name.substr(3));
    if ((lowest == 0 || number < lowest) && port_device_path(number, settings_folder) == real) {
      lowest = number;
    }
  }
  return lowest != 0 ? lowest : system_port_number(real);
}

void name_port_device(int number, const std::string& device) {
  named_device() = std::pair{number, followed(device)};
}

bool is_system_folder(const std::filesystem::path& dir) {
  std::filesystem::path normal = dir.lexically_normal();
  if (!normal.has_filename()) normal = normal.parent_path();
  // Wherever a prefix lies, its bin folder is where installed programs go.
  if (normal.filename() == "bin" || normal.filename() == "sbin") return true;
  for (const char* top : {"/usr", "/opt", "/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32",
                          "/etc", "/snap", "/boot"}) {
    const std::filesystem::path base(top);
    auto [end, _] = std::mismatch(base.begin(), base.end(), normal.begin(), normal.end());
    if (end == base.end()) return true;
  }
  return false;
}

std::filesystem::path output_dir(const std::filesystem::path& program_dir, const Environment& env) {
  struct stat info {};
  std::error_code e;
  const bool own_folder = !program_dir.empty() && !is_system_folder(program_dir) &&
                          !is_system_folder(std::filesystem::weakly_canonical(program_dir, e)) &&
                          ::stat(program_dir.c_str(), &info) == 0 && info.st_uid == ::geteuid() &&
                          ::access(program_dir.c_str(), W_OK) == 0;
  if (own_folder) return program_dir;
  return xdg_dir(env, "XDG_DATA_HOME", ".local/share") / "RNQ7";
}

}  // namespace tavric
