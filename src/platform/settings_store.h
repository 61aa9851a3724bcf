#pragma once

#include <string>

namespace tavric {

// The per-user store of the program's saved settings (section "Startup").
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  virtual std::string get(const std::string& key, const std::string& fallback) const = 0;
  virtual void set(const std::string& key, const std::string& value) = 0;
};

}  // namespace tavric
