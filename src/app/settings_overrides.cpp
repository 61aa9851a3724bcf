#include "app/settings_overrides.h"

namespace tavric {

std::string SettingsOverrides::get(const std::string& key, const std::string& fallback) const {
  const auto it = values_.find(key);
  return it != values_.end() ? it->second : saved_.get(key, fallback);
}

void SettingsOverrides::set(const std::string& key, const std::string& value) {
  const auto it = values_.find(key);
  if (it != values_.end()) {
    it->second = value;
  } else {
    saved_.set(key, value);
  }
}

}  // namespace tavric
