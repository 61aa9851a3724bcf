#include "win/win_port_list.h"

#include <windows.h>

#include <algorithm>

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
