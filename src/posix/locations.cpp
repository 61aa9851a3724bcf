#include "posix/locations.h"

#include <unistd.h>

#include <cstdlib>
#include <system_error>

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

std::string port_device_path(int number, const std::filesystem::path& settings_folder) {
  const std::filesystem::path link = settings_folder / ("com" + std::to_string(number));
  std::error_code e;
  if (!std::filesystem::is_symlink(link, e)) return "/dev/ttyS" + std::to_string(number - 1);
  // Followed to the end of its chain of links, so that one device reached under two
  // names (a by-id link and the plain one) is known as one device.
  const std::filesystem::path real = std::filesystem::canonical(link, e);
  if (!e) return real.string();
  // A link to nothing yet (an adapter unplugged): its own target, for the message.
  const std::filesystem::path target = std::filesystem::read_symlink(link, e);
  if (e) return link.string();
  return (target.is_absolute() ? target : settings_folder / target).lexically_normal().string();
}

std::filesystem::path output_dir(const std::filesystem::path& program_dir, const Environment& env) {
  if (!program_dir.empty() && ::access(program_dir.c_str(), W_OK) == 0) return program_dir;
  return xdg_dir(env, "XDG_DATA_HOME", ".local/share") / "RNQ7";
}

}  // namespace tavric
