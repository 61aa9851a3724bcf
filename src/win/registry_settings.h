#pragma once

#include <string>

#include "platform/settings_store.h"

namespace tavric::win {

// The saved settings as text values (REG_SZ) in the current user's registry, under
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\RNQ7\Startup.
class RegistrySettings : public SettingsStore {
 public:
  // `key_path` under HKEY_CURRENT_USER; the tests use a key of their own.
  explicit RegistrySettings(std::wstring key_path = kStartupKey) : key_path_(std::move(key_path)) {}

  std::string get(const std::string& key, const std::string& fallback) const override;
  void set(const std::string& key, const std::string& value) override;

  static constexpr const wchar_t* kStartupKey =
      L"Software\\VB and VBA Program Settings\\RNQ7\\Startup";

 private:
  std::wstring key_path_;
};

}  // namespace tavric::win
