#include "win/locations.h"

#include <shlobj.h>
#include <windows.h>

#include <string>

namespace tavric::win {

std::filesystem::path program_dir() {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (n == 0) return {};
    if (n < name.size()) {
      name.resize(n);
      break;
    }
    name.resize(name.size() * 2);
  }
  return std::filesystem::path(name).parent_path();
}

std::filesystem::path local_app_data() {
  wchar_t* folder = nullptr;
  std::filesystem::path result;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, &folder))) {
    result = folder;
  }
  ::CoTaskMemFree(folder);
  return result;
}

std::filesystem::path state_dir(const std::filesystem::path& local_app_data) {
  return local_app_data / L"RNQ7";
}

std::filesystem::path trace_dir(const std::filesystem::path& local_app_data) {
  return state_dir(local_app_data) / L"traces";
}

bool can_write_in(const std::filesystem::path& dir) {
  if (dir.empty()) return false;
  const std::filesystem::path probe =
      dir / (L"probe-server-dump-" + std::to_wstring(::GetCurrentProcessId()) + L".tmp");
  const HANDLE h = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(h);
  return true;
}

std::filesystem::path output_dir(const std::filesystem::path& program_dir,
                                 const std::filesystem::path& local_app_data) {
  if (can_write_in(program_dir)) return program_dir;
  return state_dir(local_app_data);
}

std::wstring port_device(int number) {
  return L"\\\\.\\COM" + std::to_wstring(number);
}

}  // namespace tavric::win
