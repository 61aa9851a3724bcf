#include "win/device_claim.h"

#include <cstdint>
#include <cwctype>
#include <vector>

namespace tavric::win {

std::wstring DeviceClaim::object_name(const std::wstring& device) {
  // FNV-1a over the case-folded UTF-16 units.
  std::uint64_t hash = 0xcbf29ce484222325u;
  for (const wchar_t c : device) {
    hash ^= static_cast<std::uint16_t>(std::towlower(c));
    hash *= 0x100000001b3u;
  }
  static const wchar_t kHex[] = L"0123456789abcdef";
  std::wstring name = L"Global\\TavricProbeServerDump.device.";
  for (int shift = 60; shift >= 0; shift -= 4) name += kHex[(hash >> shift) & 0xf];
  return name;
}

bool DeviceClaim::take(HANDLE port, const std::wstring& name) {
  release();
  std::wstring device = name;
  std::vector<wchar_t> path(1024);
  const DWORD length =
      ::GetFinalPathNameByHandleW(port, path.data(), static_cast<DWORD>(path.size()), 0);
  if (length > 0 && length < path.size()) device.assign(path.data(), length);
  const HANDLE mutex = ::CreateMutexW(nullptr, FALSE, object_name(device).c_str());
  // Another user's run made it and keeps it from this user: held all the same.
  if (!mutex) return false;
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(mutex);
    return false;
  }
  mutex_ = mutex;
  return true;
}

void DeviceClaim::release() {
  if (mutex_) ::CloseHandle(mutex_);
  mutex_ = nullptr;
}

}  // namespace tavric::win
