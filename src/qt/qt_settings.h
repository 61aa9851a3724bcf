#pragma once

#include <QSettings>

#include "platform/settings_store.h"

namespace tavric::qt {

// The saved settings in QSettings, organisation and application "RNQ7", group "Startup".
class QtSettings : public SettingsStore {
 public:
  QtSettings() : settings_(QStringLiteral("RNQ7"), QStringLiteral("RNQ7")) {}
  std::string get(const std::string& key, const std::string& fallback) const override;
  void set(const std::string& key, const std::string& value) override;

 private:
  mutable QSettings settings_;
};

}  // namespace tavric::qt
