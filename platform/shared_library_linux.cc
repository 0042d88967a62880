// The rules library through dlopen. RTLD_LOCAL keeps the library's symbols to itself; RTLD_NOW
// makes a library with a missing dependency fail at load time, where the applier can still say
// so, rather than at its first call.
#include <dlfcn.h>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/shared_library.h"

namespace kolvar::platform {

SharedLibrary::~SharedLibrary() { Unload(); }

bool SharedLibrary::Load(std::u16string_view device_path, std::string* error) {
  Unload();
  std::string host;
  if (!CheckedHostPath(device_path, &host)) {
    if (error != nullptr) *error = "not a device path";
    return false;
  }
  if (!FileExists(device_path)) {
    SetLastError(kErrorFileNotFound);
    if (error != nullptr) *error = ShownPath(device_path) + ": no such file";
    return false;
  }
  handle_ = dlopen(host.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* reason = dlerror();
    SetLastError(kErrorBadExeFormat);
    if (error != nullptr) *error = reason != nullptr ? reason : "the library cannot be loaded";
    return false;
  }
  return true;
}

void* SharedLibrary::Symbol(const char* name, std::string* error) const {
  if (handle_ == nullptr) return nullptr;
  dlerror();
  void* address = dlsym(handle_, name);
  if (address == nullptr && error != nullptr) {
    const char* reason = dlerror();
    *error = reason != nullptr ? reason : std::string(name) + " is not exported";
  }
  return address;
}

void SharedLibrary::Unload() {
  if (handle_ != nullptr) dlclose(handle_);
  handle_ = nullptr;
}

}  // namespace kolvar::platform
