#include "qt/qt_port_list.h"

#include <QSerialPortInfo>
#include <algorithm>
#include <cstdio>
#include <map>
#include <system_error>

#include "posix/locations.h"
#include "posix/port_check.h"

namespace tavric::qt {
namespace {

namespace fs = std::filesystem;

std::string followed(const fs::path& path) {
  std::error_code e;
  const fs::path real = fs::canonical(path, e);
  return e ? path.string() : real.string();
}

std::string usb_ids(const QSerialPortInfo& info) {
  if (!info.hasVendorIdentifier() || !info.hasProductIdentifier()) return {};
  char ids[16];
  std::snprintf(ids, sizeof ids, "%04x:%04x", info.vendorIdentifier(), info.productIdentifier());
  return std::string("USB ") + ids;
}

std::string description_of(const QSerialPortInfo& info) {
  std::vector<std::string> parts;
  for (const QString& part : {info.manufacturer(), info.description()}) {
    const std::string text = part.trimmed().toStdString();
    if (!text.empty() && std::find(parts.begin(), parts.end(), text) == parts.end()) {
      parts.push_back(text);
    }
  }
  if (const std::string ids = usb_ids(info); !ids.empty()) parts.push_back(ids);
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : ", ") + part;
  return text;
}

// The comN links of the settings folder, by number.
std::map<int, fs::path> port_links(const fs::path& folder) {
  std::map<int, fs::path> links;
  std::error_code e;
  for (fs::directory_iterator it(folder, e), end; !e && it != end; it.increment(e)) {
    const std::string name = it->path().filename().string();
    if (name.size() < 4 || name.size() > 8 || name.compare(0, 3, "com") != 0 || name[3] == '0' ||
        name.find_first_not_of("0123456789", 3) != std::string::npos) {
      continue;
    }
    std::error_code link_error;
    if (fs::is_symlink(it->path(), link_error)) links[std::stoi(name.substr(3))] = it->path();
  }
  return links;
}

}  // namespace

std::vector<PortEntry> QtPortList::ports() {
  std::vector<PortEntry> entries;
  const auto entry_for = [&](const std::string& device) -> PortEntry& {
    for (PortEntry& p : entries) {
      if (p.device == device) return p;
    }
    entries.emplace_back().device = device;
    return entries.back();
  };
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    PortEntry& p = entry_for(followed(info.systemLocation().toStdString()));
    p.description = description_of(info);
  }
  for (const auto& [number, link] : port_links(settings_folder_)) {
    std::error_code e;
    if (!fs::exists(link, e)) {
      PortEntry& gone = entries.emplace_back();
      gone.number = number;
      gone.device = port_device_path(number, settings_folder_);
      gone.link = link.string();
      gone.dangling = true;
      continue;
    }
    PortEntry& p = entry_for(followed(link));
    if (!p.link.empty()) continue;  // a lower number leads there already
    p.link = link.string();
    // A link to a by-id style name keeps that name, which stays with the adapter.
    const fs::path target = fs::read_symlink(link, e);
    const fs::path named = target.is_absolute() ? target : settings_folder_ / target;
    if (!e && fs::is_symlink(named, e)) p.stable_name = named.lexically_normal().string();
  }
  for (PortEntry& p : entries) {
    if (p.dangling) continue;
    p.number = port_number_of(p.device, settings_folder_);
    std::error_code e;
    for (fs::directory_iterator it(by_id_, e), end; !e && it != end && p.stable_name.empty();
         it.increment(e)) {
      if (followed(it->path()) == p.device) p.stable_name = it->path().string();
    }
  }
  std::stable_sort(entries.begin(), entries.end(), [](const PortEntry& a, const PortEntry& b) {
    // Numbered ports by number, then those without one.
    return (a.number == 0 ? 1 << 30 : a.number) < (b.number == 0 ? 1 << 30 : b.number);
  });
  return entries;
}

PortFailure QtPortList::diagnose(int number, const std::string& error) {
  return diagnose_device(port_device_path(number, settings_folder_),
                         port_link(number, settings_folder_), error);
}

}  // namespace tavric::qt
