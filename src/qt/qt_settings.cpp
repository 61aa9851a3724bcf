#include "qt/qt_settings.h"

namespace tavric::qt {

std::string QtSettings::get(const std::string& key, const std::string& fallback) const {
  settings_.sync();  // another launch may have written since
  const QString k = QStringLiteral("Startup/") + QString::fromStdString(key);
  return settings_.value(k, QString::fromStdString(fallback)).toString().toStdString();
}

void QtSettings::set(const std::string& key, const std::string& value) {
  settings_.setValue(QStringLiteral("Startup/") + QString::fromStdString(key),
                     QString::fromStdString(value));
  settings_.sync();
}

}  // namespace tavric::qt
