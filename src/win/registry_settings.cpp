#include "win/registry_settings.h"

#include <windows.h>

#include <vector>

#include "win/utf16.h"

namespace tavric::win {

std::string RegistrySettings::get(const std::string& key, const std::string& fallback) const {
  const std::wstring name = to_utf16(key);
  DWORD type = 0;
  DWORD size = 0;
  // Read afresh each time: another launch may have written since.
  if (::RegGetValueW(HKEY_CURRENT_USER, key_path_.c_str(), name.c_str(), RRF_RT_REG_SZ, &type,
                     nullptr, &size) != ERROR_SUCCESS) {
    return fallback;
  }
  std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (::RegGetValueW(HKEY_CURRENT_USER, key_path_.c_str(), name.c_str(), RRF_RT_REG_SZ, &type,
                     text.data(), &size) != ERROR_SUCCESS) {
    return fallback;
  }
  return to_utf8(text.data());
}

void RegistrySettings::set(const std::string& key, const std::string& value) {
  HKEY section = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, key_path_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &section, nullptr) != ERROR_SUCCESS) {
    return;  // a store that cannot be written keeps its old values; the run goes on
  }
  const std::wstring name = to_utf16(key);
  const std::wstring text = to_utf16(value);
  ::RegSetValueExW(section, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(section);
}

}  // namespace tavric::win
