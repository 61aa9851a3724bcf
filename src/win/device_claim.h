#pragma once

#include <windows.h>

#include <string>

namespace tavric::win {

// A claim on a serial device that every run of this program on the machine sees,
// whatever name the device was opened by. Windows itself refuses a second open of a COM
// port, but one device can have two names (a DOS device alias, or a compatibility
// layer's links to one terminal device), and each name would open it once: two runs
// would then take each other's replies. The claim is a named mutex keyed by the path the
// system resolves the open handle to (the port's own name where it resolves none); it
// lasts while its handle is open, so a run that dies releases it with the process.
class DeviceClaim {
 public:
  DeviceClaim() = default;
  ~DeviceClaim() { release(); }
  DeviceClaim(const DeviceClaim&) = delete;
  DeviceClaim& operator=(const DeviceClaim&) = delete;

  // Claims the device that `port` (opened as `name`) is; false when another run, of
  // this or of another user, holds it.
  bool take(HANDLE port, const std::wstring& name);
  void release();
  bool held() const { return mutex_ != nullptr; }

  // The mutex name for a device path: case folded and hashed, so that any path fits the
  // length and character rules of object names.
  static std::wstring object_name(const std::wstring& device);

 private:
  HANDLE mutex_ = nullptr;
};

}  // namespace tavric::win
