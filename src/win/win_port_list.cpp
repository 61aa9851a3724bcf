#include "win/win_port_list.h"

#include <windows.h>
// The class GUIDs are defined here, where initguid.h comes first.
// clang-format off
#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>
// clang-format on

#include <algorithm>
#include <map>

#include "win/utf16.h"

namespace tavric::win {
namespace {

// The number of "COM7", 0 when the name holds none.
int com_number(const std::wstring& name) {
  if (name.size() < 4 || name.size() > 6 || _wcsnicmp(name.c_str(), L"COM", 3) != 0) return 0;
  int n = 0;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (name[i] < L'0' || name[i] > L'9') return 0;
    n = n * 10 + (name[i] - L'0');
  }
  return n;
}

bool starts_with(const std::string& text, const char* start) {
  return text.rfind(start, 0) == 0;
}

// "USB 0403:6001" from a hardware id such as USB\VID_0403&PID_6001&REV_0600.
std::string usb_ids(const std::wstring& hardware_id) {
  const std::size_t vid = hardware_id.find(L"VID_");
  const std::size_t pid = hardware_id.find(L"PID_");
  if (vid == std::wstring::npos || pid == std::wstring::npos) return {};
  return "USB " + to_utf8(hardware_id.substr(vid + 4, 4)) + ":" +
         to_utf8(hardware_id.substr(pid + 4, 4));
}

std::wstring device_property(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  wchar_t text[512] = {};
  if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr,
                                           reinterpret_cast<BYTE*>(text), sizeof text - 2,
                                           nullptr)) {
    return {};
  }
  return text;  // a multi-string's first string
}

// What Windows says of each port device it knows, by COM name: its friendly name (as
// Device Manager shows it) and, for a USB adapter, its vendor and product.
std::map<std::wstring, std::string> port_descriptions() {
  std::map<std::wstring, std::string> descriptions;
  const HDEVINFO set =
      ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return descriptions;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &device); ++i) {
    const HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    wchar_t name[64] = {};
    DWORD size = sizeof name - 2;
    DWORD type = 0;
    const bool named = ::RegQueryValueExW(key, L"PortName", nullptr, &type,
                                          reinterpret_cast<BYTE*>(name), &size) == ERROR_SUCCESS &&
                       type == REG_SZ;
    ::RegCloseKey(key);
    if (!named) continue;
    std::string text = to_utf8(device_property(set, device, SPDRP_FRIENDLYNAME));
    const std::string ids = usb_ids(device_property(set, device, SPDRP_HARDWAREID));
    if (!ids.empty()) text += (text.empty() ? "" : ", ") + ids;
    if (!text.empty()) descriptions[_wcsupr(name)] = text;
  }
  ::SetupDiDestroyDeviceInfoList(set);
  return descriptions;
}

}  // namespace

std::vector<PortEntry> WinPortList::ports() {
  std::vector<PortEntry> entries;
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return entries;
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD name_size = 256;
    wchar_t data[64] = {};
    DWORD data_size = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    const LONG r = ::RegEnumValueW(key, i, name, &name_size, nullptr, &type,
                                   reinterpret_cast<BYTE*>(data), &data_size);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r != ERROR_SUCCESS || type != REG_SZ) continue;
    const std::wstring port(data, wcsnlen(data, 63));
    PortEntry& p = entries.emplace_back();
    p.number = com_number(port);
    p.device = to_utf8(port);
    // The kernel's name of the device says which driver serves it (\Device\Serial0 for
    // a port on the board, \Device\VCP0 for an FTDI adapter, and so on).
    p.description = to_utf8(std::wstring(name, name_size));
  }
  ::RegCloseKey(key);
  const std::map<std::wstring, std::string> descriptions = port_descriptions();
  for (PortEntry& p : entries) {
    const auto it = descriptions.find(L"COM" + std::to_wstring(p.number));
    if (it != descriptions.end()) p.description = it->second;
  }
  std::sort(entries.begin(), entries.end(),
            [](const PortEntry& a, const PortEntry& b) { return a.number < b.number; });
  return entries;
}

PortFailure WinPortList::diagnose(int number, const std::string& error) {
  PortFailure f;
  f.device = "COM" + std::to_string(number);
  f.detail = error;
  // The port's own words: "There is no port COM7 ...", "Port in use: COM7 ...".
  if (starts_with(error, "There is no port")) f.trouble = PortTrouble::Missing;
  if (starts_with(error, "Port in use")) f.trouble = PortTrouble::InUse;
  return f;
}

}  // namespace tavric::win
