#pragma once

#include <map>
#include <string>

#include "platform/settings_store.h"

namespace tavric {

// Serves some settings from the command line for this launch only: reading one of
// them gives the given value, and writing it changes that value without saving it.
// Every other setting goes to the saved store.
class SettingsOverrides : public SettingsStore {
 public:
  SettingsOverrides(SettingsStore& saved, std::map<std::string, std::string> values)
      : saved_(saved), values_(std::move(values)) {}

  std::string get(const std::string& key, const std::string& fallback) const override;
  void set(const std::string& key, const std::string& value) override;

 private:
  SettingsStore& saved_;
  std::map<std::string, std::string> values_;
};

}  // namespace tavric
