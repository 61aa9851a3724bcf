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

bool is_system_folder(const std::filesystem::path& dir) {
  const std::wstring folder = dir.lexically_normal().wstring();
  for (const KNOWNFOLDERID& id : {FOLDERID_ProgramFiles, FOLDERID_ProgramFilesX86,
                                  FOLDERID_ProgramFilesX64, FOLDERID_Windows}) {
    wchar_t* known = nullptr;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &known))) {
      const std::wstring base = std::filesystem::path(known).lexically_normal().wstring();
      // Paths compare without regard to case, and only at a folder boundary.
      const bool inside = folder.size() >= base.size() &&
                          ::_wcsnicmp(folder.c_str(), base.c_str(), base.size()) == 0 &&
                          (folder.size() == base.size() || folder[base.size()] == L'\\');
      ::CoTaskMemFree(known);
      if (inside) return true;
    } else {
      ::CoTaskMemFree(known);
    }
  }
  return false;
}

std::filesystem::path output_dir(const std::filesystem::path& program_dir,
                                 const std::filesystem::path& local_app_data) {
  // An installed program writes to the user's folder even where it could write beside
  // itself (an administrator under C:\Program Files).
  if (!is_system_folder(program_dir) && can_write_in(program_dir)) return program_dir;
  return state_dir(local_app_data);
}

std::wstring port_device(int number) {
  return L"\\\\.\\COM" + std::to_wstring(number);
}

}  // namespace tavric::win
